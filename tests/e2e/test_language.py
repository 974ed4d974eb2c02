"""The language section a program picks from its package, seen in the message
box: box-host opens a package built by varnix-pack, takes the caption, text
and buttons of a question from the package's language texts and asks it;
ui-driver reads what the box shows.

The language follows the primary language of the thread locale, which Wine
takes from the Unix locale of the process: LC_ALL with locale data generated
by localedef (see locale_env)."""

import shutil
import subprocess
from pathlib import Path

import pytest

import harness

ES_RIGHT = 0x0002

# Each section: caption (key "Confirm"), text (key "s8"), its mark-up shown,
# the Yes and No captions of its button list.
SECTIONS = {
    "English": ("Confirm", "Please insert <B>DISK #1</B>", "Please insert DISK #1",
                "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"),
    "German": ("Best\u00e4tigen", "Bitte <B>Diskette #1</B> einlegen", "Bitte Diskette #1 einlegen",
               "|&OK|&Abbrechen|&Ja|&Nein|&Abbrechen|&Wiederholen|&Ignorieren|"),
    "French": ("Confirmer", "Ins\u00e9rez la <B>disquette #1</B>", "Ins\u00e9rez la disquette #1",
               "|&OK|&Annuler|&Oui|&Non|&Abandonner|&R\u00e9essayer|&Ignorer|"),
    "Klingon": ("Qapla'", "<B>DISK #1</B> yIlIS", "DISK #1 yIlIS",
                "|&luq|&ghobe'|&HIja'|&ghobe'|&mev|&nIDqa'|&buSHa'|"),
}
# What a package without a usable section shows: the built-in defaults (the
# text's default is box-host's fallback for the key).
DEFAULTS = ("Confirm", "(no text for s8)", "(no text for s8)",
            "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|")


def project(sections: list[tuple[str, str]], extra: dict[str, str] | None = None) -> str:
    """An agent package (text blocks only) with the named sections in order;
    each is (name as written, content from SECTIONS)."""
    text = "[Package]\nType = agent\n"
    for name, content in sections:
        caption, s8, _, buttons = SECTIONS[content]
        text += f"\n[Language {name}]\nConfirm = {caption}\ns8 = {s8}\nBtnText = {buttons}\n"
        for key, value in (extra or {}).get(content, {}).items():
            text += f"{key} = {value}\n"
    return text


def yes_no(buttons: str) -> list[str]:
    items = buttons.split("|")
    return [items[3], items[4]]


@pytest.fixture(scope="session")
def locale_env(tmp_path_factory):
    """locale_env(name) -> the environment that runs a Windows program in
    that Unix locale ("de_DE", "fr_FR"; "C" for the default English one)."""
    folder = tmp_path_factory.mktemp("locales")
    made: set[str] = set()

    def env(name: str) -> dict[str, str]:
        if name == "C":
            return {"LC_ALL": "C"}
        if name not in made:
            if shutil.which("localedef") is None or not Path(
                    "/usr/share/i18n/locales", name).is_file():
                raise harness.HarnessError(
                    f"localedef or the {name} locale source is missing (Debian package locales)")
            subprocess.run(["localedef", "-i", name, "-f", "UTF-8", str(folder / f"{name}.UTF-8")],
                           stdin=subprocess.DEVNULL, capture_output=True, check=True)
            made.add(name)
        return {"LOCPATH": str(folder), "LC_ALL": f"{name}.UTF-8"}

    return env


@pytest.fixture
def ask_from_package(pack, message_box, locale_env, tmp_path):
    """Packs the project, then asks its s8 question under a locale; returns
    the box as ui-driver saw it."""
    def ask(project_text: str, locale: str, **keys):
        package = tmp_path / "package.exe"
        pack(project_text, {}, package)
        switches = {"textkey": "s8", "captionkey": "Confirm", **keys}
        box = message_box("yesno", ["key:Escape"], env=locale_env(locale), owner=1,
                          package=harness.to_windows_path(package), **switches)
        assert box.result["result"] is False
        return box.window

    return ask


def shows(window, expected) -> None:
    caption, _, shown, buttons = expected
    assert (window.caption, window.rich_edit.text, [b.text for b in window.buttons]) == \
        (caption, shown, yes_no(buttons))


@pytest.mark.parametrize("locale, sections, chosen", [
    ("de_DE", ["English", "German"], "German"),
    ("de_DE", ["German", "English"], "German"),
    ("C", ["English", "German"], "English"),
    # English is found by its name, not taken as the first section.
    ("C", ["German", "English"], "English"),
    # No French section: English.
    ("fr_FR", ["English", "German"], "English"),
    ("fr_FR", ["German", "French", "English"], "French"),
    # No match and no English: the German text is not shown to a French user.
    ("de_DE", ["English", "French"], "English"),
])
def test_the_section_of_the_users_language_is_chosen(ask_from_package, locale, sections, chosen):
    window = ask_from_package(project([(name, name) for name in sections]), locale)

    shows(window, SECTIONS[chosen])


@pytest.mark.parametrize("locale, name", [
    ("C", "Klingon"),
    ("de_DE", "Klingon"),
    ("fr_FR", "English"),
])
def test_a_single_section_is_used_whatever_its_name(ask_from_package, locale, name):
    window = ask_from_package(project([(name, "Klingon")]), locale)

    shows(window, SECTIONS["Klingon"])


def test_without_a_matching_section_or_english_the_defaults_are_shown(ask_from_package):
    window = ask_from_package(project([("German", "German"), ("Klingon", "Klingon")]), "C")

    shows(window, DEFAULTS)


def test_section_names_are_matched_ignoring_case(ask_from_package):
    window = ask_from_package(project([("ENGLISH", "English"), ("german", "German")]), "de_DE")

    shows(window, SECTIONS["German"])


@pytest.mark.parametrize("textkey, captionkey, buttonskey", [
    ("s8", "Confirm", "BtnText"),
    ("S8", "CONFIRM", "BTNTEXT"),
    ("s8", "confirm", "btntext"),
])
def test_keys_are_found_ignoring_case(ask_from_package, textkey, captionkey, buttonskey):
    window = ask_from_package(project([("German", "German")]), "C", textkey=textkey,
                              captionkey=captionkey, buttonskey=buttonskey)

    shows(window, SECTIONS["German"])


@pytest.mark.parametrize("locale, right_to_left", [("de_DE", True), ("C", False)])
def test_the_charset_comes_from_the_chosen_section(ask_from_package, locale, right_to_left):
    # A Hebrew charset in the German section only: the box reads right to
    # left exactly when that section is the one chosen.
    text = project([("English", "English"), ("German", "German")],
                   extra={"German": {"Charset": "177"}})

    window = ask_from_package(text, locale)

    assert bool(window.rich_edit.style & ES_RIGHT) is right_to_left
