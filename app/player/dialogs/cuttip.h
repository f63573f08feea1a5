// The clip dialog: the operator confirms (and may still edit) the range of a played record file
// to cut, the folder the clip goes to and its format. Ok checks the range against the file and
// keeps the format and folder as the new defaults of the application context.
#pragma once

#include <QString>
#include <QTime>

#include "LumoBase/LumoBase.h"
#include "player/dialogs/playerdialog.h"

class QAbstractButton;

namespace Ui {
class CutTip;
}

// The clip request that the main window and the dialog exchange.
struct CutInfo {
    CLumoTime cutStart;  // in: the first mark; out: the clip start
    CLumoTime cutEnd;    // in: the second mark (the marks may come in either order); out: the clip end
    CLumoTime fileStart;
    CLumoTime fileEnd;
    QString fileTimeText;  // the file's span as text
    QString filePath;
    QString saveFolder;   // in: the context's clip folder; out: the one chosen
    uint32_t clipFormat = 0;  // 0 DAV, 1 AVI
};

class CutTip : public PlayerDialog {
    Q_OBJECT
public:
    // What a range check found.
    enum RangeCheck { RANGE_OK = 0, RANGE_NOT_ORDERED = 1, RANGE_OUTSIDE_FILE = 2 };

    explicit CutTip(QWidget* parent = nullptr);
    ~CutTip() override;

    // Fills the dialog from the request; once, before exec().
    void SetInfo(CutInfo info);
    // The clip range, format and folder; after exec() returned 1.
    void GetResult(CutInfo& info) const;

    // The clip that two times of day give in the file [fileStart, fileEnd]: a time takes the
    // file start's date, except in a file that runs over midnight, where a time earlier in the
    // day than the file's start belongs to the file end's date. So a clip may lie wholly before,
    // wholly after or across midnight. The range is valid when start < end and both lie within
    // the file (its bounds included).
    static RangeCheck ClipRange(const CLumoTime& fileStart, const CLumoTime& fileEnd, const QTime& start,
                                const QTime& end, CLumoTime* clipStart, CLumoTime* clipEnd);

    void on_buttonBox_clicked(QAbstractButton* button);
    void on_btnBrowseCut_clicked();
    void on_btnClose_clicked();

    // Test seam: the folder the browse button "chooses" instead of asking (empty: ask; a
    // single "-" answers as a cancelled chooser).
    static void SetChosenFolderForTest(const QString& folder);

protected:
    void Retranslate() override;

private:
    // Applies a chosen folder ("/" become "\") to the dialog.
    void SetFolder(const QString& folder);

    Ui::CutTip* ui;
    QString m_folder;
    CLumoTime m_fileStart, m_fileEnd;
};
