// One row of the download dialog: the task's name, a progress bar, a line of speed, sizes and time
// left, and buttons whose visibility follows the row's state. It keeps what the dialog needs to act
// on its task and turns every press into a signal; the dialog does the work. GUI thread only.
#pragma once

#include <QByteArray>
#include <QWidget>
#include <cstdint>

class QAction;
class QListWidgetItem;
class QMenu;
namespace Ui {
class DownLoadItemWidget;
}

class DownLoadItemWidget : public QWidget {
    Q_OBJECT
public:
    // Row states: the download queue's codes (3: the download failed).
    enum { StateWaiting = 0, StateDownloading = 1, StateEnded = 2, StateFailed = 3 };
    // The speed value that empties the row's text (a picture has no speed).
    static constexpr unsigned NoSpeed = 0xFFFFFFFFu;
    // The least height of a row in the dialog's list; a row whose texts need more gets more.
    enum { MinRowHeight = 70 };

    explicit DownLoadItemWidget(QWidget* parent = nullptr);
    ~DownLoadItemWidget() override;

    void SetState(int state);
    int GetState() const { return state; }
    void SetOrderButtonsVisible(bool visible);
    void SetProgress(int percent);
    void SetItemName(const QString& text);
    void UpdateText(unsigned bitsPerSecond, uint64_t bytesDone, uint64_t totalBytes, uint64_t secondsLeft);
    // A failed row says why in its text line.
    void SetFailText(const QString& text);

    void SetDeviceId(int v) { deviceId = v; }
    int GetDeviceId() const { return deviceId; }
    void SetChannelIndex(int v) { channelIndex = v; }
    int GetChannelIndex() const { return channelIndex; }
    // Texts are kept whole, whatever their length (a null text changes nothing).
    void SetSaveUrl(const char* v) { SetText(saveUrl, v); }
    const QByteArray& GetSaveUrl() const { return saveUrl; }
    void SetKey(const char* v) { SetText(key, v); }
    const QByteArray& GetKey() const { return key; }
    void SetName(const char* v) { SetText(name, v); }
    const QByteArray& GetName() const { return name; }
    void SetExtraText(const char* v) { SetText(extraText, v); }
    const QByteArray& GetExtraText() const { return extraText; }
    // The list item that carries the row; its height follows the row's from then on.
    void SetListItem(QListWidgetItem* item) {
        listItem = item;
        FitListItem();
    }
    QListWidgetItem* GetListItem() const { return listItem; }

    // The parts of the text line.
    static QString SpeedText(unsigned bitsPerSecond);
    static QString SizeText(uint64_t bytes);
    static QString TimeLeftText(uint64_t seconds);

    // The width that shows the whole name beside the buttons and every other text of the row
    // (the live speed line wraps instead).
    int NeededWidth() const;
    // Gives the list item the height that the row's texts need at the row's width.
    void FitListItem();

    Ui::DownLoadItemWidget* GetUi() const { return ui; }
    QMenu* GetMenu() const { return menu; }

signals:
    void signal_stopDown();
    void signal_delTask();
    void signal_showFile();
    void signal_playfile();
    void signal_orderUp();
    void signal_orderDown();
    void signal_quicktop();
    void signal_clear();

public slots:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void OnMenuTriggered(QAction* action);

protected:
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    static void SetText(QByteArray& field, const char* v) {
        if (v) field = QByteArray(v);
    }
    void Retranslate();

    int deviceId = 0;
    int channelIndex = -1;
    QByteArray saveUrl;
    QByteArray key;
    QByteArray name;
    QByteArray extraText;
    int state = StateWaiting;
    QListWidgetItem* listItem = nullptr;
    Ui::DownLoadItemWidget* ui = nullptr;
    QMenu* menu = nullptr;  // no parent: deleted by the destructor
    QAction* quickTopAction = nullptr;
    QAction* clearAction = nullptr;
    QString failText;
};
