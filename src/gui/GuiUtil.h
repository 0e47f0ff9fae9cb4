#pragma once

// Small helpers shared by the window's files: creating child widgets owned by their Qt parent,
// converting text between the program's 8-bit strings and Qt, and the "leave" event.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "support/Text.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace corvanteer {

// Creates a widget (or any QObject) owned by its Qt parent from its construction on; the
// parent comes last among the constructor's arguments, as Qt's classes take it.
template <class T, class Parent, class... Args>
T* Child(Parent* parent, Args&&... args) {
    return std::make_unique<T>(std::forward<Args>(args)..., parent).release();
}

// A child with its object name: the name the window's handlers and tests know it by.
template <class T, class Parent, class... Args>
T* Named(Parent* parent, const char* objectName, Args&&... args) {
    T* object = Child<T>(parent, std::forward<Args>(args)...);
    object->setObjectName(QString::fromLatin1(objectName));
    return object;
}

// The program keeps 8-bit text as UTF-8 in std::string.
inline QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
inline std::string S(const QString& text) {
    return text.toStdString();
}

// The "Security" choice beside a server's host and port (Auto, TLS, STARTTLS, None, stored
// as the setting's lower-case values), and the field of its pinned certificate fingerprint.
QComboBox* SecurityChoice(QWidget* parent, const char* objectName);
QLineEdit* FingerprintField(QWidget* parent, const char* objectName);

// Lines of a multi-line text field, and back. A field's text has no final line break.
Lines MemoLines(const QPlainTextEdit* memo);
void SetMemoLines(QPlainTextEdit* memo, const std::string& sectionText);

// Calls the handler whenever the watched widget loses the input focus (the "leave" event of a
// control, whether or not its text changed).
class LeaveWatcher : public QObject {
    Q_OBJECT
public:
    LeaveWatcher(QWidget* watched, std::function<void()> onLeave);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> onLeave_;
};

// Installs a LeaveWatcher (owned by the widget).
void OnLeave(QWidget* widget, std::function<void()> handler);

// "Text files (*.txt)|*.TXT|All files (*.*)|*.*" in Qt's form: each description with its
// patterns in parentheses, entries separated by ";;". "*.*" becomes "*", and a pattern with
// letters is offered in both cases, since Linux file names keep their case.
QString QtFileFilter(const std::string& pairedFilter);

}  // namespace corvanteer
