#include "platform/Text.h"

#include <QLineEdit>
#include <QValidator>

#include "core/Cp1252.h"

QString Q(const std::string& cp1252) {
    return QString::fromStdString(Cp1252ToUtf8(cp1252));
}

std::string W(const QString& text) {
    return Utf8ToCp1252(text.toStdString());
}

bool FitsCp1252(const QString& text) {
    for (char32_t cp : text.toUcs4()) {
        if (!Cp1252CanHold(cp)) {
            return false;
        }
    }
    return true;
}

namespace {
class Cp1252Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        // Control characters have no place in a one-line field, and two of them frame the
        // messages on the wire: a pasted 0x02 would end the query there.
        for (QChar c : input) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
                return Invalid;
            }
        }
        return FitsCp1252(input) ? Acceptable : Invalid;
    }
};
} // namespace

void RestrictToCp1252(QLineEdit* edit, int maxLength) {
    if (maxLength > 0) {
        edit->setMaxLength(maxLength);
    }
    edit->setValidator(new Cp1252Validator(edit));
}
