#pragma once
// The application style: the platform's own, with the keyboard behaviour screen-reader users
// rely on wherever the platform style lacks it.

class QStyle;

// The style to install: Alt alone moves the focus to the menu bar (so a menu without a
// mnemonic is still reachable from the keyboard) and mnemonics are always underlined.
QStyle* KeyboardFriendlyStyle();
