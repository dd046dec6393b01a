#include "platform/Desktop.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>
#include <netdb.h>

#include "platform/Text.h"

namespace {
QtDesktop RealDesktop;
Desktop* Installed = nullptr;

// "File di testo (*.txt)|*.txt|Tutti i file (*.*)|*.*" -> "File di testo (*.txt)", "Tutti ..."
QStringList FilterNames(const std::string& filter) {
    QStringList parts = Q(filter).split('|');
    QStringList names;
    for (int i = 0; i < parts.size(); i += 2) {
        names << parts[i];
    }
    return names;
}

// "Tabella CSV UTF-8 (*.csv)" -> "csv"; empty for "*.*".
QString FilterSuffix(const QString& name) {
    const qsizetype dot = name.lastIndexOf("(*.");
    if (dot < 0) {
        return {};
    }
    QString suffix = name.mid(dot + 3);
    suffix.chop(1);
    return suffix == "*" ? QString() : suffix;
}
// A short text makes a narrow box, and the window manager then cuts its title ("Oper...
// etata"): widen the box so that the title, which says what happened, shows whole.
void KeepTitleWhole(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr) {
        return;
    }
    QFont bold = box.font();
    bold.setBold(true);
    // Room for the window manager's icon and buttons at both ends of the title bar.
    const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + 120;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
}
} // namespace

Desktop& TheDesktop() {
    return Installed != nullptr ? *Installed : RealDesktop;
}

void InstallDesktop(Desktop* d) {
    Installed = d;
}

void ShowError(const std::string& text, const std::string& title) {
    TheDesktop().MessageBox(text, title, MsgIcon::Error);
}

MsgAnswer QtDesktop::MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                                MsgButtons buttons) {
    QMessageBox::Icon qicon = icon == MsgIcon::Error     ? QMessageBox::Critical
                              : icon == MsgIcon::Warning ? QMessageBox::Warning
                                                         : QMessageBox::Information;
    // The program's texts break lines with CR LF; a label wants a plain line feed.
    QString shown = Q(text).replace("\r\n", "\n");
    QMessageBox box(qicon, Q(title), shown,
                    buttons == MsgButtons::YesNo ? QMessageBox::Yes | QMessageBox::No
                                                 : QMessageBox::Ok,
                    QApplication::activeWindow());
    // Shown as it stands: a server's message that looks like markup must not be rendered (or
    // made to load files) instead of being read out.
    box.setTextFormat(Qt::PlainText);
    KeepTitleWhole(box);
    int answer = box.exec();
    if (buttons == MsgButtons::YesNo) {
        return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    return MsgAnswer::Ok;
}

std::string QtDesktop::InputBox(const std::string& caption, const std::string& prompt,
                                const std::string& defaultText) {
    bool ok = false;
    QString text = QInputDialog::getText(QApplication::activeWindow(), Q(caption), Q(prompt),
                                         QLineEdit::Normal, Q(defaultText), &ok);
    return ok ? W(text) : defaultText;
}

std::optional<std::string> QtDesktop::SaveFileName(QWidget* parent, SaveDialogOptions& options) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList names = FilterNames(options.Filter);
    dialog.setNameFilters(names);
    dialog.setDefaultSuffix(Q(options.DefaultExt));
    if (options.FilterIndex >= 1 && options.FilterIndex <= names.size()) {
        dialog.selectNameFilter(names[options.FilterIndex - 1]);
    }
    // A name typed without an extension gets the one of the type chosen.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        if (const QString suffix = FilterSuffix(f); !suffix.isEmpty()) {
            dialog.setDefaultSuffix(suffix);
        }
    });
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.OverwritePrompt);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    if (const qsizetype chosen = names.indexOf(dialog.selectedNameFilter()); chosen >= 0) {
        options.FilterIndex = static_cast<int>(chosen) + 1;
    }
    return dialog.selectedFiles().first().toLocal8Bit().toStdString();
}

void QtDesktop::Beep() {
    QApplication::beep();
}

bool QtDesktop::OpenUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::TolerantMode));
}

std::chrono::year_month_day QtDesktop::Today() {
    QDate today = QDate::currentDate();
    return std::chrono::year_month_day{std::chrono::year{today.year()},
                                       std::chrono::month{static_cast<unsigned>(today.month())},
                                       std::chrono::day{static_cast<unsigned>(today.day())}};
}

unsigned short ServicePort(const std::string& name) {
    const servent* entry = getservbyname(name.c_str(), "tcp");
    return entry == nullptr ? 0 : ntohs(static_cast<unsigned short>(entry->s_port));
}
