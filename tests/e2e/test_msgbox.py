"""The mark-up message box, seen from outside: box-host shows a box the way
the product's callers do, ui-driver reads it (texts, bold runs, geometry,
styles, focus) and answers it as a user would (buttons, keys, the close
button) or lets it time out.

Texts passed to box-host avoid " /" and double quotes: the switch rules end a
value there. Screenshots of some boxes are saved in the test's folder for
people to look at; nothing is asserted on them."""

import pytest

ES_RIGHT = 0x0002
WS_EX_DLGMODALFRAME = 0x0001
WS_EX_TOPMOST = 0x0008
WS_EX_RTLREADING = 0x2000
WS_CAPTION = 0x00C00000
WS_SYSMENU = 0x00080000

MB_OK, MB_OKCANCEL, MB_ABORTRETRYIGNORE, MB_YESNOCANCEL, MB_YESNO, MB_RETRYCANCEL = range(6)
IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7

GERMAN_BUTTONS = "|&OK|&Abbrechen|&Ja|&Nein|&Abbrechen|&Wiederholen|&Ignorieren|"
# Abort, Retry, Ignore as Stop, Again, Again too: two buttons share "A".
TWO_HOT_AS = "|&OK|&Cancel|&Yes|&No|&Stop|&Again|&Again too|"

# Button set -> captions left to right (default list) and their result codes.
BUTTON_SETS = {
    MB_OK: (["&OK"], [IDOK]),
    MB_OKCANCEL: (["&OK", "&Cancel"], [IDOK, IDCANCEL]),
    MB_ABORTRETRYIGNORE: (["&Abort", "&Retry", "&Ignore"], [IDABORT, IDRETRY, IDIGNORE]),
    MB_YESNOCANCEL: (["&Yes", "&No", "&Cancel"], [IDYES, IDNO, IDCANCEL]),
    MB_YESNO: (["&Yes", "&No"], [IDYES, IDNO]),
    MB_RETRYCANCEL: (["&Retry", "&Cancel"], [IDRETRY, IDCANCEL]),
}

# Long enough for several 600-pixel lines in an 8-point font.
LONG_LINE = "A line that keeps going " * 14
# Long enough for the time-outs to outlast the driver's look at the box.
TIMEOUT_MS = 1500


def captions(window):
    return [button.text for button in window.buttons]


@pytest.mark.parametrize("button_set", sorted(BUTTON_SETS))
def test_a_box_nobody_answers_returns_its_first_button(message_box, button_set):
    names, codes = BUTTON_SETS[button_set]

    box = message_box("raw", style=button_set, text="Nobody answers", timeout=TIMEOUT_MS)

    assert captions(box.window) == names
    assert box.result["result"] == codes[0]
    assert box.driver.gone_ms is not None
    # The timer runs from the box's creation; GetTickCount steps are ~16 ms.
    assert TIMEOUT_MS - 50 <= box.result["elapsed_ms"] < TIMEOUT_MS + 5000


def test_a_box_without_buttons_times_out_with_zero(message_box):
    # A style whose button set is above 5 has no button to take a code from.
    box = message_box("raw", style=6, text="No buttons here", timeout=TIMEOUT_MS)

    assert box.window.buttons == []
    assert box.result["result"] == 0


@pytest.mark.parametrize("kind, expected", [
    ("yesno", True),  # a question nobody answers counts as Yes
    ("attention", None),
])
def test_shortcuts_with_a_timeout_close_by_themselves(message_box, kind, expected):
    box = message_box(kind, text="Waiting for nobody", timeout=TIMEOUT_MS)

    assert box.result["result"] is expected
    assert box.result["elapsed_ms"] >= TIMEOUT_MS - 50


@pytest.mark.parametrize("button_set, position", [
    (s, n) for s in sorted(BUTTON_SETS) for n in range(1, len(BUTTON_SETS[s][0]) + 1)])
def test_each_button_returns_its_own_code(message_box, button_set, position):
    names, codes = BUTTON_SETS[button_set]

    box = message_box("raw", [f"click:{position}"], style=button_set, text="Pick one")

    assert captions(box.window) == names
    assert box.result["result"] == codes[position - 1]


@pytest.mark.parametrize("kind, style, action, expected", [
    ("raw", MB_YESNOCANCEL, "key:Escape", 0),
    ("raw", MB_YESNOCANCEL, "closebutton", 0),
    ("raw", MB_OK, "close", 0),  # the window menu's Close, or Alt+F4
    ("yesno", None, "key:Escape", False),
    ("yesno", None, "closebutton", False),
    ("okcancel", None, "key:Escape", False),
    ("okcancel", None, "closebutton", False),
])
def test_escape_and_the_close_button_answer_nothing(message_box, kind, style, action, expected):
    # The default button is the first (Yes, OK): a box that answered with it
    # on Escape would say yes to a question the user dismissed.
    box = message_box(kind, [action], style=style, text="Dismiss me")

    assert box.driver.gone_ms is not None
    assert box.result["result"] == expected
    assert isinstance(box.result["result"], bool) is isinstance(expected, bool)


@pytest.mark.parametrize("text, shown, bold", [
    # A bold word, a paragraph break, then normal text.
    ("<B>Warning</B><P>The disk is full.", "Warning\r\nThe disk is full.", [(0, 7)]),
    # Positions behind a line break count the CR LF as two characters.
    ("First<P>then <b>bold</b> and <B>more</B>", "First\r\nthen bold and more",
     [(12, 16), (21, 25)]),
    ("stray </B>closing tag", "stray closing tag", []),
    ("stray <B>opening tag", "stray opening tag", []),
    # Escapes as typed in a language section, and tabs.
    (r"one\\ntwo\\tx<T>y<p>z", "one\r\ntwo\tx\ty\r\nz", []),
    # Only the bold and paragraph tags are mark-up.
    ("<SIZE> and <i>x</i>", "<SIZE> and <i>x</i>", []),
])
def test_markup_becomes_text_with_bold_runs(message_box, text, shown, bold):
    box = message_box("raw", ["key:Escape"], text=text)

    edit = box.window.rich_edit
    assert edit.text == shown
    assert edit.bold == bold


def test_a_bold_run_is_shown_in_bold(message_box):
    # For people to look at: the bold word, a break, then normal text.
    box = message_box("raw", ["key:Escape"], shot="bold-markup",
                      text="<B>Please insert DISK #2</B><P>and press OK to continue")

    assert box.window.rich_edit.bold == [(0, 21)]


@pytest.mark.parametrize("kind, caption, shown", [
    # A known caption becomes an upper-case heading.
    ("error", "Error", "ERROR\r\n\r\nDisk full\r\n"),
    ("error", "", "ERROR\r\n\r\nDisk full\r\n"),  # the default caption
    ("attention", "Attention", "ATTENTION\r\n\r\nDisk full\r\n"),
    ("okcancel", "", "CONFIRM\r\n\r\nDisk full\r\n"),
    # Any other caption keeps its letters.
    ("error", "Setup failed", "Setup failed\r\n\r\nDisk full\r\n"),
])
def test_owner_zero_puts_the_caption_into_the_text_as_a_bold_heading(
        message_box, kind, caption, shown):
    box = message_box(kind, ["key:Escape"], owner=0, caption=caption, text="Disk full",
                      shot=f"heading-{kind}")

    edit = box.window.rich_edit
    assert edit.text == shown
    heading = shown.split("\r\n")[0]
    assert edit.bold == [(0, len(heading))]


@pytest.mark.parametrize("kind, owner, caption, title", [
    ("error", 1, "", "Error"),
    ("attention", 1, "", "Attention"),
    ("yesno", 1, "", "Confirm"),
    ("okcancel", 1, "", "Confirm"),
    ("yesno", 1, "Install now?", "Install now?"),
    ("error", 2, "", "Error"),
    # A window handle as owner: above 2, so no owner code applies.
    ("error", "main", "Error", "Error"),
])
def test_other_owners_show_the_caption_in_the_title(message_box, kind, owner, caption, title):
    box = message_box(kind, ["key:Escape"], owner=owner, caption=caption, text="Plain text")

    assert box.window.caption == title
    assert box.window.owner == box.result["main_window"]
    assert box.window.rich_edit.text == "Plain text"
    assert box.window.rich_edit.bold == []


def check_geometry(window):
    """The box's layout rules, checked on what the driver measured."""
    cw, ch = window.client_size
    edit = window.rich_edit
    rw = edit.width
    frame_width = window.width - cw
    # The control sits one vertical margin down; the client holds the control's
    # fitted height, the button strip and two such margins.
    vertical_margin = edit.y
    rh = ch - 36 - 2 * vertical_margin
    horizontal_margin = 64 if rw < 200 else 32

    assert vertical_margin == (45 if rh < 39 else 32), (rh, vertical_margin)
    assert window.width == max(360, rw + 54 + 2 * horizontal_margin + frame_width)
    assert edit.x == (cw - 54 - rw) // 2 + 54
    assert edit.height == ch - edit.y - 39
    for from_right, button in enumerate(reversed(window.buttons)):
        assert (button.x, button.y, button.width, button.height) == \
            (cw - 80 - 70 * from_right, ch - 29, 70, 23), button
    left, top, right, bottom = window.work_area
    assert window.window_rect[:2] == (left + (right - left - window.width) // 2,
                                      top + (bottom - top - window.height) // 2)
    return rh


@pytest.mark.parametrize("name, text, width_check", [
    ("narrow", "Go on?", lambda rw, w: rw < 200 and w == 360),
    ("empty", "", lambda rw, w: rw < 200 and w == 360),  # measured as one blank
    ("medium", "This line is wider than two hundred pixels in the box.",
     lambda rw, w: 200 <= rw < 610),
    ("long", LONG_LINE, lambda rw, w: rw == 610),  # 600 at most, plus 10
    ("long-bold", "<B>" + LONG_LINE + "</B>", lambda rw, w: rw >= 610),
])
def test_box_sizes_itself_to_the_text(message_box, name, text, width_check):
    box = message_box("raw", ["key:Escape"], shot=f"size-{name}", style=MB_YESNOCANCEL,
                      text=text)

    window = box.window
    check_geometry(window)
    assert width_check(window.rich_edit.width, window.width), \
        (window.rich_edit.width, window.width)
    assert window.style & (WS_CAPTION | WS_SYSMENU) == WS_CAPTION | WS_SYSMENU
    assert window.exstyle & (WS_EX_DLGMODALFRAME | WS_EX_TOPMOST) == \
        WS_EX_DLGMODALFRAME | WS_EX_TOPMOST


def test_a_text_control_just_under_200_pixels_gets_wide_margins(message_box):
    # Only between about 170 and 200 pixels do the wide margins show in the
    # box's width (below that the 360 minimum wins): find a text that wide.
    probe = message_box("raw", ["key:Escape"], text="x" * 20).window.rich_edit
    per_char = (probe.width - 10) / 20
    count = round((190 - 10) / per_char)

    window = message_box("raw", ["key:Escape"], text="x" * count).window

    check_geometry(window)
    rw = window.rich_edit.width
    assert 180 <= rw < 200, (count, rw)
    assert window.width == rw + 54 + 2 * 64 + window.width - window.client_size[0] > 360


def test_a_long_line_takes_one_more_line_per_600_pixels(message_box):
    one_line = check_geometry(message_box("raw", ["key:Escape"], text="Short").window)
    long_box = message_box("raw", ["key:Escape"], text=LONG_LINE).window

    many_lines = check_geometry(long_box)
    assert long_box.rich_edit.width == 610
    # Every line of the text is as high as the short one.
    assert many_lines % one_line == 0 and many_lines // one_line >= 3, (one_line, many_lines)


@pytest.mark.parametrize("env, text, shifted", [
    ({"DVX": "853"}, "Do you want to store the new Entry in the list?", True),
    ({"DVX": "853"}, "Do you want to keep it?", False),
    ({"DVX": "8530"}, "Do you want to store the new Entry in the list?", False),
])
def test_one_question_moves_aside_on_a_developer_machine(message_box, env, text, shifted):
    window = message_box("raw", ["key:Escape"], env=env, text=text).window

    left, top, right, bottom = window.work_area
    centred = (left + (right - left - window.width) // 2, top + (bottom - top - window.height) // 2)
    offset = 150 if shifted else 0
    assert window.window_rect[:2] == (centred[0] + offset, centred[1] + offset)


@pytest.mark.parametrize("kind, charset, right_to_left", [
    ("attention", 177, True),  # Hebrew
    ("attention", 178, True),  # Arabic
    ("yesno", 178, True),
    ("attention", 0, False),
    ("attention", 186, False),  # Baltic: another non-Western charset, left to right
])
def test_hebrew_and_arabic_charsets_lay_the_text_out_right_to_left(
        message_box, kind, charset, right_to_left):
    box = message_box(kind, ["key:Escape"], shot=f"charset-{charset}", charset=charset,
                      caption="Attention", text="Right or left")

    edit = box.window.rich_edit
    assert bool(edit.style & ES_RIGHT) is right_to_left
    assert bool(edit.exstyle & WS_EX_RTLREADING) is right_to_left


@pytest.mark.parametrize("owner, closes", [(2, False), (1, True), (0, True)])
def test_owner_two_greys_the_close_button(message_box, owner, closes):
    box = message_box("attention", ["closebutton", "key:Escape"], shot=f"owner-{owner}",
                      owner=owner, text="Can this be closed?")

    # Wine cannot read another process's window menu; Windows can.
    if box.window.close_greyed is not None:
        assert box.window.close_greyed is not closes
    after_click = box.driver.steps[0][1]
    assert (after_click is None) is closes
    assert box.driver.gone_ms is not None  # Escape still works


def test_the_active_window_is_disabled_while_the_box_is_up(message_box):
    box = message_box("yesno", ["click:2"], owner=1, text="Owner state")

    assert box.window.owner == box.result["main_window"] != 0
    assert box.window.owner_enabled is False
    assert box.result["main_enabled_after"] is True
    assert box.result["main_active_after"] is True


@pytest.mark.parametrize("kind, style, buttons, names", [
    ("raw", MB_YESNO, GERMAN_BUTTONS, ["&Ja", "&Nein"]),
    ("raw", MB_ABORTRETRYIGNORE, GERMAN_BUTTONS, ["&Abbrechen", "&Wiederholen", "&Ignorieren"]),
    ("yesno", None, GERMAN_BUTTONS, ["&Ja", "&Nein"]),
    ("okcancel", None, GERMAN_BUTTONS, ["&OK", "&Abbrechen"]),
    ("yesno", None, "", ["&Yes", "&No"]),  # empty: the built-in list
    # Items missing from a short list give empty captions.
    ("raw", MB_YESNOCANCEL, "|&OK|&Cancel|&Ja|", ["&Ja", "", "&Cancel"]),
])
def test_button_captions_come_from_the_given_list(message_box, kind, style, buttons, names):
    box = message_box(kind, ["key:Escape"], shot=f"buttons-{kind}-{style}", style=style,
                      buttons=buttons, text="Localised buttons")

    assert captions(box.window) == names


@pytest.mark.parametrize("style, default", [
    (MB_YESNOCANCEL, 0),
    (MB_YESNOCANCEL | 0x100, 1),
    (MB_YESNOCANCEL | 0x200, 2),
    (MB_YESNO | 0x200, 0),  # the index wraps round the number of buttons
    (MB_OK | 0x100, 0),
])
def test_the_default_button_has_the_focus_and_enter_presses_it(message_box, style, default):
    box = message_box("raw", ["key:Enter"], style=style, text="Press Enter")

    buttons = box.window.buttons
    assert [b.default for b in buttons] == [i == default for i in range(len(buttons))]
    assert [b.focused for b in buttons] == [i == default for i in range(len(buttons))]
    _, codes = BUTTON_SETS[style & 0xF]
    assert box.result["result"] == codes[default]


@pytest.mark.parametrize("buttons, style, action, expected", [
    ("", MB_YESNOCANCEL, "key:N", IDNO),
    ("", MB_YESNOCANCEL, "key:c", IDCANCEL),
    ("", MB_YESNOCANCEL, "key:Y", IDYES),
    (GERMAN_BUTTONS, MB_YESNO, "key:N", IDNO),
    (GERMAN_BUTTONS, MB_YESNO, "key:J", IDYES),
    # Without "&" a caption's first letter is its hot key.
    ("|OK|Cancel|", MB_OKCANCEL, "key:C", IDCANCEL),
    # Typed characters (WM_CHAR) match either case.
    ("", MB_YESNOCANCEL, "char:n", IDNO),
    ("", MB_YESNOCANCEL, "char:N", IDNO),
    (GERMAN_BUTTONS, MB_YESNO, "char:j", IDYES),
    # Two buttons with one hot letter: a key press takes the last, a typed
    # character the first.
    (TWO_HOT_AS, MB_ABORTRETRYIGNORE, "key:A", IDIGNORE),
    (TWO_HOT_AS, MB_ABORTRETRYIGNORE, "char:a", IDRETRY),
])
def test_hot_letters_choose_buttons(message_box, buttons, style, action, expected):
    box = message_box("raw", [action], buttons=buttons, style=style, text="Hot letters")

    assert box.driver.gone_ms is not None
    assert box.result["result"] == expected


def test_a_letter_without_a_button_does_nothing(message_box):
    box = message_box("raw", ["key:Q", "char:q", "key:Escape"], style=MB_YESNOCANCEL,
                      text="Nothing on Q")

    assert [window is not None for _, window in box.driver.steps] == [True, True]
    assert box.result["result"] == 0


def test_tab_and_arrows_move_the_focus_round_the_buttons(message_box):
    moves = ["key:Tab", "key:Tab", "key:Tab", "key:Left", "key:Up", "key:Down", "key:Right",
             "key:Right"]
    # Start on Yes; the last move ends on No, which Enter then chooses.
    expected = [1, 2, 0, 2, 1, 2, 0, 1]

    box = message_box("raw", moves + ["key:Enter"], style=MB_YESNOCANCEL, text="Move around")

    focus = []
    for action, window in box.driver.steps:
        assert window is not None, f"the box went after {action}"
        focus.append([b.focused for b in window.buttons].index(True))
    assert focus == expected
    assert box.result["result"] == IDNO
