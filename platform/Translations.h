#pragma once
// Qt's own texts (standard buttons, the file dialog, edit menus) in Italian, whatever the
// desktop's language: the program speaks Italian throughout, and a screen reader that switches
// language in the middle of a dialog is hard to follow.

class QTranslator;

// Loads Qt's Italian catalogue and the few texts it lacks, and makes Italian the default
// locale (dates and sizes in the file dialog). Returns false when Qt's catalogue is missing,
// so that the caller can say so; the texts it lacks are covered either way.
bool InstallItalianTranslations();

// The texts Qt's Italian catalogue lacks (installed by the function above).
QTranslator* MissingQtTexts();
