// The inform dialog: a page of rich text from the product's server in a
// resizable window, with an optional button that opens a web address and
// closes the window. One dialog at a time, on the calling thread.
#pragma once

#include <windows.h>

#include <string>

// Shows `text` (plain or RTF, cut to 64 KB, embedded objects refused) in a
// window of `width` x `height` (each clamped to 200 .. the work area)
// centred in the work area, owned by `owner`, which stays enabled. With a
// `link` a button labelled `buttonText` opens it and closes the window.
// Without text the link is opened at once and no window shows. A link is
// only opened when it is an http or https address; any other counts as no
// link. True when the page was shown or the link handed to the shell (also
// when the shell then failed to open it), false when there was nothing to
// show or the window could not be made. The button's font is `fontName` at
// `fontSize` points; the text's is 15 pixels high, in "Verdana" unless
// `fontName` names another face than "Tahoma". A quit request ends the
// dialog and is posted again for the program's own loop.
bool ShowInform(HWND owner, const std::string& caption, const std::string& buttonText,
                const std::string& text, const std::string& link, int width, int height,
                bool rightToLeft, const std::string& fontName, int fontSize, int charset);
