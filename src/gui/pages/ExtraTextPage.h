#pragma once

// The "Extra text" page: the header lines and the signature added to every posting of the
// list, and the description its archive's list page shows, each a section of the list's data
// file.
//
// To add a control: create it in the constructor with Named<...>(this, "objectName"), lay it
// out, and add its row (Setting or Section) to the table given to fields_.Bind.

#include <QWidget>

#include "gui/pages/SettingFields.h"

class QPlainTextEdit;

namespace corvanteer {

class PageHost;
struct ManualPosting;

class ExtraTextPage : public QWidget {
    Q_OBJECT
public:
    ExtraTextPage(PageHost& host, QWidget* parent);

    // Fills the texts from the current list's data file.
    void LoadSections() { fields_.LoadSections(); }
    // The headers and signature as shown, for a manual posting.
    void FillPosting(ManualPosting& posting) const;

private:
    QPlainTextEdit* memoHeaders = nullptr;
    QPlainTextEdit* memoSignature = nullptr;
    QPlainTextEdit* memoDescription = nullptr;
    SettingFields fields_;
};

}  // namespace corvanteer
