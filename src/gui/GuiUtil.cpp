#include "gui/GuiUtil.h"

#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QWidget>

namespace corvanteer {

Lines MemoLines(const QPlainTextEdit* memo) {
    // As a list of lines: a final line break does not start another line.
    return TextToLines(S(memo->toPlainText()));
}

void SetMemoLines(QPlainTextEdit* memo, const std::string& sectionText) {
    memo->setPlainText(Q(JoinLines(TextToLines(sectionText), "\n")));
}

LeaveWatcher::LeaveWatcher(QWidget* watched, std::function<void()> onLeave)
    : QObject(watched), onLeave_(std::move(onLeave)) {
    watched->installEventFilter(this);
}

bool LeaveWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && onLeave_) {
        onLeave_();
    }
    return QObject::eventFilter(watched, event);
}

void OnLeave(QWidget* widget, std::function<void()> handler) {
    // The watcher's parent is the widget, which owns it.
    std::make_unique<LeaveWatcher>(widget, std::move(handler)).release();
}

QString QtFileFilter(const std::string& pairedFilter) {
    const QStringList parts = Q(pairedFilter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const qsizetype paren = description.indexOf(QLatin1Char('('));
        if (paren > 0) {
            description = description.left(paren).trimmed();
        }
        QStringList patterns;
        for (QString pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*")) {
                pattern = QStringLiteral("*");
            }
            for (const QString& variant : {pattern.toLower(), pattern.toUpper()}) {
                if (!patterns.contains(variant)) {
                    patterns << variant;
                }
            }
        }
        entries << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}

QComboBox* SecurityChoice(QWidget* parent, const char* objectName) {
    auto* choice = Named<QComboBox>(parent, objectName);
    // The table's check turns a caption into the value stored; loading finds it in any case.
    choice->addItems({QStringLiteral("Auto"), QStringLiteral("TLS"), QStringLiteral("STARTTLS"),
                      QStringLiteral("None")});
    choice->setToolTip(
        QStringLiteral("Auto: TLS on ports 995 and 465, STARTTLS on 587, none on any other"));
    return choice;
}

QLineEdit* FingerprintField(QWidget* parent, const char* objectName) {
    auto* field = Named<QLineEdit>(parent, objectName);
    field->setToolTip(
        QStringLiteral("SHA-256 fingerprint of the server's own certificate: accepted whatever "
                       "its issuer (optional)"));
    return field;
}

}  // namespace corvanteer
