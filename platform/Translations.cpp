#include "platform/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <algorithm>
#include <array>
#include <cstring>

namespace {

struct Text {
    const char* Context;
    const char* Source;
    const char* Italian;
};

// Found by opening every standard dialog the program uses with Qt's Italian catalogue
// installed and collecting what still reached the untranslated source text.
constexpr std::array<Text, 2> Missing{{
    {"QAbstractFileIconProvider", "Drive", "Unit\u00e0"},
    {"QAbstractFileIconProvider", "Folder", "Cartella"},
}};

class CoveringTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (context == nullptr || source == nullptr) {
            return {};
        }
        auto it = std::find_if(Missing.begin(), Missing.end(), [&](const Text& t) {
            return std::strcmp(t.Context, context) == 0 && std::strcmp(t.Source, source) == 0;
        });
        return it == Missing.end() ? QString() : QString::fromUtf8(it->Italian);
    }
};

} // namespace

QTranslator* MissingQtTexts() {
    static CoveringTranslator covering;
    return &covering;
}

bool InstallItalianTranslations() {
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    static QTranslator qtbase;
    bool loaded = qtbase.load("qtbase_it", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded) {
        QCoreApplication::installTranslator(&qtbase);
    } else {
        qWarning("dravel: Qt's Italian texts (qtbase_it, package qt6-translations-l10n) are "
                 "missing from %s: standard buttons and dialogs stay in English",
                 qPrintable(QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
    }
    // Installed last, so consulted first; it answers only for texts the catalogue lacks.
    QCoreApplication::installTranslator(MissingQtTexts());
    return loaded;
}
