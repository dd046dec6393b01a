#include "platform/Style.h"

#include <QProxyStyle>

namespace {
class KeyboardStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        switch (hint) {
        case SH_MenuBar_AltKeyNavigation:
        case SH_UnderlineShortcut:
            return 1;
        default:
            return QProxyStyle::styleHint(hint, option, widget, returnData);
        }
    }
};
} // namespace

QStyle* KeyboardFriendlyStyle() {
    return new KeyboardStyle;
}
