#include "gui/pages/OptionsPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

#include "engine/ManualPosting.h"
#include "gui/GuiUtil.h"

namespace corvanteer {
namespace {

// A radio group: the group box carries the control's name, its buttons "<name>0", "<name>1"...
// and the button group (which knows the choice) its own name.
QButtonGroup* RadioGroup(QGroupBox* box, const char* name, const char* groupName,
                         const QStringList& captions) {
    auto* group = Named<QButtonGroup>(box, groupName);
    auto* layout = Child<QVBoxLayout>(box);
    box->setLayout(layout);
    for (int i = 0; i < captions.size(); ++i) {
        const std::string buttonName = std::string(name) + std::to_string(i);
        auto* button = Named<QRadioButton>(box, buttonName.c_str(), captions[i]);
        group->addButton(button, i);
        layout->addWidget(button);
    }
    return group;
}

}  // namespace

OptionsPage::OptionsPage(PageHost& host, QWidget* parent)
    : QWidget(parent), fields_(host, SettingScope::List) {
    setObjectName(QStringLiteral("tabOptions"));
    BuildControls();
    fields_.Bind({
        Setting(chkAllowUserSubscribe, "AllowUserSubscribe"),
        Setting(chkVerifySubscribe, "VerifySubscribe"),
        Setting(spinVerifyDays, "VerifyDays"),
        Setting(chkModerateList, "ModerateList"),
        Setting(chkRequirePassword, "RequirePassword"),
        Setting(chkForwardErrorMsgs, "ForwardErrorMsgs"),
        Setting(edtErrorsTo, "ErrorsTo"),
        Setting(chkHideSenderEmail, "HideSenderEmail"),
        Setting(chkListHeaders, "ListHeaders"),
        Setting(edtHideEmail, "ChangeSenderEmailTo"),
        Setting(allowPostByGroup, "AllowPostBy"),
        Setting(postingMethodGroup, "PostingMethod"),
        Setting(edtTo, "ListTo"),
        Setting(edtListPostingAddress, "ListPostingAddress"),
        Setting(edtPop3Host, "Pop3Host"),
        Setting(edtPop3UserID, "Pop3User"),
        Setting(edtPop3Password, "Pop3Password"),  // scrambled by its table entry
        Setting(spinPop3Port, "Pop3Port"),
        Setting(cmbPop3Security, "Pop3Security"),
        Setting(edtPop3TlsFingerprint, "Pop3TlsFingerprint"),
        Setting(cmbPop3Auth, "Pop3Auth"),
        Setting(chkDigestEnabled, "DigestEnabled"),
        Setting(spinDigestMaxKB, "DigestMaxKB"),
        Setting(spinDigestHour, "DigestHour"),
        Setting(spinDigestVolume, "DigestVolume"),
        Setting(chkBounceProcessing, "BounceProcessing"),
        Setting(spinBounceScoreThreshold, "BounceScoreThreshold"),
        Setting(spinBounceInfoStaleAfter, "BounceInfoStaleAfter"),
        Setting(spinBounceWarnInterval, "BounceWarnInterval"),
        Setting(spinBounceWarnings, "BounceWarnings"),
    });
    ConnectRules();
    connect(butPop3SignIn, &QPushButton::clicked, this, [this] { emit signInRequested(); });
}

void OptionsPage::BuildControls() {
    auto* grid = Child<QGridLayout>(this);
    setLayout(grid);

    auto* rules = Child<QWidget>(this);
    auto* rulesGrid = Child<QGridLayout>(rules);
    rules->setLayout(rulesGrid);
    rulesGrid->setContentsMargins(0, 0, 0, 0);
    chkAllowUserSubscribe = Named<QCheckBox>(rules, "chkAllowUserSubscribe",
                                             QStringLiteral("Allow user subscribe/unsubscribe"));
    chkVerifySubscribe = Named<QCheckBox>(rules, "chkVerifySubscribe",
                                          QStringLiteral("Require verification within"));
    spinVerifyDays = Named<QSpinBox>(rules, "spinVerifyDays");
    spinVerifyDays->setRange(1, 60);
    lblDays = Named<QLabel>(rules, "lblDays", QStringLiteral("days"));
    chkModerateList = Named<QCheckBox>(rules, "chkModerateList", QStringLiteral("Moderate List"));
    chkRequirePassword =
        Named<QCheckBox>(rules, "chkRequirePassword", QStringLiteral("Require password"));
    chkForwardErrorMsgs = Named<QCheckBox>(rules, "chkForwardErrorMsgs",
                                           QStringLiteral("Fwd unauthorized/error msgs to"));
    edtErrorsTo = Named<QLineEdit>(rules, "edtErrorsTo");
    chkHideSenderEmail = Named<QCheckBox>(rules, "chkHideSenderEmail",
                                          QStringLiteral("Change sender email address to"));
    edtHideEmail = Named<QLineEdit>(rules, "edtHideEmail");
    chkListHeaders = Named<QCheckBox>(
        rules, "chkListHeaders", QStringLiteral("Add list headers (List-Id, unsubscribe link)"));
    rulesGrid->addWidget(chkAllowUserSubscribe, 0, 0, 1, 3);
    rulesGrid->addWidget(chkVerifySubscribe, 1, 0);
    rulesGrid->addWidget(spinVerifyDays, 1, 1);
    rulesGrid->addWidget(lblDays, 1, 2);
    rulesGrid->addWidget(chkModerateList, 2, 0, 1, 3);
    rulesGrid->addWidget(chkRequirePassword, 3, 0, 1, 3);
    rulesGrid->addWidget(chkForwardErrorMsgs, 4, 0);
    rulesGrid->addWidget(edtErrorsTo, 4, 1, 1, 2);
    rulesGrid->addWidget(chkHideSenderEmail, 5, 0);
    rulesGrid->addWidget(edtHideEmail, 5, 1, 1, 2);
    rulesGrid->addWidget(chkListHeaders, 6, 0, 1, 3);
    grid->addWidget(rules, 0, 0, 1, 2);

    optAllowPostBy = Named<QGroupBox>(this, "optAllowPostBy", QStringLiteral(" Permissions "));
    allowPostByGroup = RadioGroup(
        optAllowPostBy, "optAllowPostBy", "allowPostByGroup",
        {QStringLiteral("Allow only moderators to post"), QStringLiteral("Allow members to post"),
         QStringLiteral("Allow anybody to post")});
    optPostingMethod =
        Named<QGroupBox>(this, "optPostingMethod", QStringLiteral(" Posting method "));
    postingMethodGroup =
        RadioGroup(optPostingMethod, "optPostingMethod", "postingMethodGroup",
                   {QStringLiteral("Blind carbon copy (Bcc)"), QStringLiteral("Individually")});
    grid->addWidget(optAllowPostBy, 1, 0);
    grid->addWidget(optPostingMethod, 1, 1);

    auto* addresses = Child<QWidget>(this);
    auto* form = Child<QFormLayout>(addresses);
    addresses->setLayout(form);
    form->setContentsMargins(0, 0, 0, 0);
    lblTo = Named<QLabel>(addresses, "lblTo", QStringLiteral("To"));
    edtTo = Named<QLineEdit>(addresses, "edtTo");
    edtListPostingAddress = Named<QLineEdit>(addresses, "edtListPostingAddress");
    form->addRow(lblTo, edtTo);
    form->addRow(QStringLiteral("List posting address"), edtListPostingAddress);
    grid->addWidget(addresses, 2, 0, 1, 2);

    auto* pop3 = Named<QGroupBox>(this, "grpListPop3", QStringLiteral(" List POP3 (incoming) "));
    auto* pop3Form = Child<QFormLayout>(pop3);
    pop3->setLayout(pop3Form);
    edtPop3Host = Named<QLineEdit>(pop3, "edtPop3Host");
    edtPop3UserID = Named<QLineEdit>(pop3, "edtPop3UserID");
    edtPop3Password = Named<QLineEdit>(pop3, "edtPop3Password");
    edtPop3Password->setEchoMode(QLineEdit::Password);
    spinPop3Port = Named<QSpinBox>(pop3, "spinPop3Port");
    spinPop3Port->setRange(1, 65535);
    pop3Form->addRow(QStringLiteral("Host"), edtPop3Host);
    pop3Form->addRow(QStringLiteral("User"), edtPop3UserID);
    pop3Form->addRow(QStringLiteral("Password"), edtPop3Password);
    pop3Form->addRow(QStringLiteral("Port"), spinPop3Port);
    cmbPop3Security = SecurityChoice(pop3, "cmbPop3Security");
    edtPop3TlsFingerprint = FingerprintField(pop3, "edtPop3TlsFingerprint");
    pop3Form->addRow(QStringLiteral("Security"), cmbPop3Security);
    pop3Form->addRow(QStringLiteral("Fingerprint"), edtPop3TlsFingerprint);
    cmbPop3Auth = LoginChoice(pop3, "cmbPop3Auth");
    butPop3SignIn = SignInButton(pop3, "butPop3SignIn", cmbPop3Auth);
    auto* login = Child<QHBoxLayout>(static_cast<QWidget*>(nullptr));
    login->addWidget(cmbPop3Auth, 1);
    login->addWidget(butPop3SignIn);
    pop3Form->addRow(QStringLiteral("Login"), login);
    grid->addWidget(pop3, 3, 0, 1, 2);

    auto* digests = Named<QGroupBox>(this, "grpDigests", QStringLiteral(" Digests "));
    auto* digestForm = Child<QFormLayout>(digests);
    digests->setLayout(digestForm);
    chkDigestEnabled =
        Named<QCheckBox>(digests, "chkDigestEnabled",
                         QStringLiteral("Offer digests (off: digest members get each message)"));
    spinDigestMaxKB = Named<QSpinBox>(digests, "spinDigestMaxKB");
    spinDigestMaxKB->setRange(0, 1000000);
    spinDigestMaxKB->setSpecialValueText(QStringLiteral("daily only"));
    spinDigestHour = Named<QSpinBox>(digests, "spinDigestHour");
    spinDigestHour->setRange(0, 23);
    spinDigestVolume = Named<QSpinBox>(digests, "spinDigestVolume");
    spinDigestVolume->setRange(1, 999999);
    digestForm->addRow(chkDigestEnabled);
    digestForm->addRow(QStringLiteral("Send once over (KB)"), spinDigestMaxKB);
    digestForm->addRow(QStringLiteral("Daily from hour"), spinDigestHour);
    digestForm->addRow(QStringLiteral("Volume"), spinDigestVolume);
    grid->addWidget(digests, 4, 0, 1, 2);
    auto* bounces = Named<QGroupBox>(this, "grpBounces", QStringLiteral(" Bounces "));
    auto* bouncesForm = Child<QFormLayout>(bounces);
    bounces->setLayout(bouncesForm);
    chkBounceProcessing =
        Named<QCheckBox>(bounces, "chkBounceProcessing",
                         QStringLiteral("Score failed deliveries and stop mailing dead addresses"));
    auto spin = [bounces](const char* name, int low, int high, const QString& suffix) {
        auto* box = Named<QSpinBox>(bounces, name);
        box->setRange(low, high);
        box->setSuffix(suffix);
        return box;
    };
    spinBounceScoreThreshold = spin("spinBounceScoreThreshold", 1, 1000, QString());
    spinBounceInfoStaleAfter = spin("spinBounceInfoStaleAfter", 1, 365, QStringLiteral(" days"));
    spinBounceWarnInterval = spin("spinBounceWarnInterval", 1, 365, QStringLiteral(" days"));
    spinBounceWarnings = spin("spinBounceWarnings", 1, 100, QString());
    bouncesForm->addRow(chkBounceProcessing);
    bouncesForm->addRow(QStringLiteral("Disable delivery at score"), spinBounceScoreThreshold);
    bouncesForm->addRow(QStringLiteral("Score starts again after"), spinBounceInfoStaleAfter);
    bouncesForm->addRow(QStringLiteral("Notice every"), spinBounceWarnInterval);
    bouncesForm->addRow(QStringLiteral("Notices before removal"), spinBounceWarnings);
    grid->addWidget(bounces, 5, 0, 1, 2);
    grid->setRowStretch(6, 1);
}

// The click rules, connected after the table so that they see the stored value.
void OptionsPage::ConnectRules() {
    auto rule = [this](QCheckBox* box, std::function<void()> then) {
        connect(box, &QCheckBox::clicked, this, [this, then] {
            if (then) {
                then();
            }
            UpdatePasswordRule();
        });
    };
    rule(chkAllowUserSubscribe, [this] { ApplySubscribeRules(); });
    rule(chkVerifySubscribe, [this] { ApplySubscribeRules(); });
    rule(chkModerateList, [this] {
        chkRequirePassword->setEnabled(AllowPostBy() < 2 && !chkModerateList->isChecked());
    });
    rule(chkRequirePassword, nullptr);
    rule(chkForwardErrorMsgs,
         [this] { edtErrorsTo->setEnabled(chkForwardErrorMsgs->isChecked()); });
    rule(chkHideSenderEmail, [this] { edtHideEmail->setEnabled(chkHideSenderEmail->isChecked()); });
    rule(chkDigestEnabled, [this] { ApplyDigestRules(); });
    // An empty replacement address means the list posting address: the field shows it as its
    // hint.
    connect(edtListPostingAddress, &QLineEdit::textChanged, edtHideEmail,
            &QLineEdit::setPlaceholderText);
    connect(allowPostByGroup, &QButtonGroup::idClicked, this, [this] { ApplyPermissionRules(); });
    connect(postingMethodGroup, &QButtonGroup::idClicked, this,
            [this] { ApplyPostingMethodRules(); });
}

int OptionsPage::AllowPostBy() const {
    return std::max(0, allowPostByGroup->checkedId());
}
int OptionsPage::PostingMethod() const {
    return std::max(0, postingMethodGroup->checkedId());
}

void OptionsPage::ApplyRules() {
    ApplySubscribeRules();
    chkRequirePassword->setEnabled(AllowPostBy() < 2 && !chkModerateList->isChecked());
    edtErrorsTo->setEnabled(chkForwardErrorMsgs->isChecked());
    edtHideEmail->setEnabled(chkHideSenderEmail->isChecked());
    ApplyPermissionRules();
    ApplyPostingMethodRules();
    ApplyDigestRules();
}

void OptionsPage::ApplyDigestRules() {
    const bool enabled = chkDigestEnabled->isChecked();
    spinDigestMaxKB->setEnabled(enabled);
    spinDigestHour->setEnabled(enabled);
    spinDigestVolume->setEnabled(enabled);
}

void OptionsPage::ApplySubscribeRules() {
    const bool allow = chkAllowUserSubscribe->isChecked();
    chkVerifySubscribe->setEnabled(allow);
    spinVerifyDays->setEnabled(allow);
    lblDays->setEnabled(allow);
    emit subscribeRulesChanged(allow, chkVerifySubscribe->isChecked());
}

void OptionsPage::ApplyPermissionRules() {
    const int choice = AllowPostBy();
    emit permissionsChanged(choice != 0);
    chkModerateList->setEnabled(true);
    chkRequirePassword->setEnabled(choice < 2 && !chkModerateList->isChecked());
    if (choice == 0) {
        chkModerateList->setEnabled(false);
        chkRequirePassword->setEnabled(true);
    } else if (choice == 2) {
        chkRequirePassword->setEnabled(false);
    }
    UpdatePasswordRule();
}

void OptionsPage::ApplyPostingMethodRules() {
    const bool bcc = PostingMethod() == 0;
    lblTo->setVisible(bcc);
    edtTo->setVisible(bcc);
}

void OptionsPage::UpdatePasswordRule() {
    emit passwordRuleChanged(chkRequirePassword->isEnabled() && chkRequirePassword->isChecked());
}

bool OptionsPage::MembersPostWithPassword() const {
    return chkRequirePassword->isEnabled() && chkRequirePassword->isChecked() && AllowPostBy() != 0;
}

void OptionsPage::FillPosting(ManualPosting& posting) const {
    posting.postingMethod = PostingMethod();
    posting.listTo = S(edtTo->text());
    posting.hideSenderEmail = chkHideSenderEmail->isChecked();
    posting.changeSenderEmailTo = S(edtHideEmail->text());
    posting.listPostingAddress = S(edtListPostingAddress->text());
    posting.pop3Host = S(edtPop3Host->text());
    posting.listHeaders = chkListHeaders->isChecked();
    posting.allowPostBy = AllowPostBy();
    posting.allowUserSubscribe = chkAllowUserSubscribe->isChecked();
}

}  // namespace corvanteer
