#pragma once

// The "Options" page: the list's rules (subscriptions, verification, moderation, passwords,
// who may post and how), its addresses, its POP3 mailbox, its digests and its bounces, each a
// setting of the list stored the moment it is left, clicked or changed; and the rules that
// enable and show the controls by the values chosen.
//
// To add a control: create it in BuildControls with Named<...>(parent, "objectName"), lay it
// out, and add its row, Setting(control, "SettingName"), to the table given to fields_.Bind in
// the constructor (the name must be in the list setting table). A rule that follows a click
// goes into ConnectRules, which runs after Bind, so the rule sees the stored value.

#include <QWidget>

#include "gui/pages/SettingFields.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace corvanteer {

class PageHost;
struct ManualPosting;

class OptionsPage : public QWidget {
    Q_OBJECT
public:
    OptionsPage(PageHost& host, QWidget* parent);

    // Fills the controls from the current list's settings (absent ones show their defaults).
    void LoadSettings() { fields_.LoadSettings(); }
    // Applies every rule to the values shown, after loading; emits every signal below.
    void ApplyRules();

    // Members post with a password: "Require password" is in effect and members may post.
    bool MembersPostWithPassword() const;
    // The list's values a manual posting uses, as shown.
    void FillPosting(ManualPosting& posting) const;

signals:
    // Subscriptions by mail are allowed (the Responses page is offered) and verified (its
    // verification replies are).
    void subscribeRulesChanged(bool allowSubscribe, bool verifySubscribe);
    // Anyone but the moderators may post: ban marks mean something.
    void permissionsChanged(bool membersMayPost);
    // "Require password" is in effect.
    void passwordRuleChanged(bool passwordRequired);
    // "Sign in..." was clicked for the mailbox of the list shown.
    void signInRequested();

private:
    void BuildControls();
    void ConnectRules();
    int AllowPostBy() const;
    int PostingMethod() const;
    void ApplySubscribeRules();
    void ApplyPermissionRules();
    void ApplyPostingMethodRules();
    void ApplyDigestRules();
    void UpdatePasswordRule();

    QCheckBox* chkAllowUserSubscribe = nullptr;
    QCheckBox* chkVerifySubscribe = nullptr;
    QSpinBox* spinVerifyDays = nullptr;
    QLabel* lblDays = nullptr;
    QCheckBox* chkModerateList = nullptr;
    QCheckBox* chkRequirePassword = nullptr;
    QCheckBox* chkForwardErrorMsgs = nullptr;
    QLineEdit* edtErrorsTo = nullptr;
    QCheckBox* chkHideSenderEmail = nullptr;
    QLineEdit* edtHideEmail = nullptr;
    QCheckBox* chkListHeaders = nullptr;
    QGroupBox* optAllowPostBy = nullptr;
    QButtonGroup* allowPostByGroup = nullptr;
    QGroupBox* optPostingMethod = nullptr;
    QButtonGroup* postingMethodGroup = nullptr;
    QLabel* lblTo = nullptr;
    QLineEdit* edtTo = nullptr;
    QLineEdit* edtListPostingAddress = nullptr;
    QLineEdit* edtPop3Host = nullptr;
    QLineEdit* edtPop3UserID = nullptr;
    QLineEdit* edtPop3Password = nullptr;
    QSpinBox* spinPop3Port = nullptr;
    QComboBox* cmbPop3Security = nullptr;
    QLineEdit* edtPop3TlsFingerprint = nullptr;
    QComboBox* cmbPop3Auth = nullptr;
    QPushButton* butPop3SignIn = nullptr;
    QCheckBox* chkDigestEnabled = nullptr;
    QSpinBox* spinDigestMaxKB = nullptr;
    QSpinBox* spinDigestHour = nullptr;
    QSpinBox* spinDigestVolume = nullptr;
    QCheckBox* chkBounceProcessing = nullptr;
    QSpinBox* spinBounceScoreThreshold = nullptr;
    QSpinBox* spinBounceInfoStaleAfter = nullptr;
    QSpinBox* spinBounceWarnInterval = nullptr;
    QSpinBox* spinBounceWarnings = nullptr;

    SettingFields fields_;
};

}  // namespace corvanteer
