// What the player knows about the file playing in a view: name, time span, size, picture size,
// codecs, frame rate and, for a local file, its path with a button that opens its folder.
#pragma once

#include <QString>

#include "LumoBase/LumoBase.h"
#include "player/dialogs/playerdialog.h"

class CLumoFile;
class QLabel;

namespace Ui {
class FileInfo;
}

// The facts the dialog shows, taken from a play file.
struct PlayFileInfo {
    QString name;
    QString path;  // local files only; empty for streams and recorder-disk files
    CLumoTime startTime, endTime;
    quint8 videoCodec = 0;
    quint8 audioCodec = 0;
    quint16 width = 0;
    quint16 height = 0;
    qint32 frameRate = -1;  // negative: unknown
    quint64 size = 0;       // bytes

    static PlayFileInfo FromFile(const CLumoFile& file);
};

class FileInfo : public PlayerDialog {
    Q_OBJECT
public:
    explicit FileInfo(QWidget* parent = nullptr);
    ~FileInfo() override;

    void SetFile(const PlayFileInfo& info);

    // The name of a video or audio codec code.
    static QString CodecName(quint8 code);
    // The frame rate, or "--" when the file gives none (negative).
    static QString FrameRateText(qint32 frameRate);

    // Ok ends the dialog with 1, the close button with 0.
    void on_buttonBox_clicked(QAbstractButton* button);
    void on_btnClose_clicked();
    // Opens the folder of the file shown (local files only).
    void on_btnOpen_clicked();

protected:
    void Retranslate() override;

private:
    Ui::FileInfo* ui;
    QString m_path;  // the path of the file shown; empty until SetFile or for a non-local file
};

// Shows text in the label shortened to the label's width (the middle cut out, so a path keeps
// its file name), and whole in the tool tip for 10 s.
void ShowElidedInLabel(QLabel* label, const QString& text);
