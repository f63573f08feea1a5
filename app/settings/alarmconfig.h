// The alarm sound page of the client settings dialog: one table row per alarm type (built-in
// types first, then the operator's own), each with a sound file that can be chosen and played.
#pragma once

#include <QPointer>
#include <QStandardItemModel>
#include <QStyledItemDelegate>

#include "sysconfigpage.h"

class QPushButton;

class AlarmModel : public QStandardItemModel {
    Q_OBJECT
public:
    explicit AlarmModel(QObject* parent = nullptr);
    // Columns 1 and 2 show their whole text as a tool tip.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

// The editor of the type column; it knows its open editor so that a save can take in a name
// that is still being typed.
class AlarmNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;
    // Commits and closes the open editor, if any.
    void CommitOpenEditor();

private:
    mutable QPointer<QWidget> m_editor;  // GUI thread only
};

class AlarmConfig : public SysConfigPage {
    Q_OBJECT
public:
    enum Column { ColNumber = 0, ColType, ColPath, ColChoose, ColPlay, ColDelete, ColumnCount };

    AlarmConfig(int code, SysConfig* owner);
    void ShowPage() override;
    void RestoreDefaults() override;
    // 0 saved, -1 the file could not be written, -2 a type name holds a forbidden character
    // (reported; nothing changed).
    int Save() override;
    bool CheckUnsaved(bool warn) override;
    void LoadOption(LumoC::OptionBase* option) override;
    const char* TitleKey() const override { return "K2200_AlarmSound"; }

    AlarmModel* GetModel() const { return m_model; }
    int GetBuiltInCount() const { return m_builtInCount; }
    // The file chooser of the page: a WAV sound, or empty (cancelled, or refused with a message
    // because the file holds no sound the player can play).
    QString ChooseWavFile();
    // The translated text of a built-in type key; any other name unchanged.
    static QString TranslateAlarmType(const QString& name);

public slots:
    void ClickTvButton();
    void OnAddAudioClicked();
    void OnItemChanged(QStandardItem* item);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetRow(int row, int number, const QString& type, const QString& path);
    void PlaceButtons(int row);
    void ApplyLook();
    void ApplyColumnWidths();
    // The records the rows stand for; false (and the first bad row) when a name is refused.
    bool RowsToRecords(std::vector<LumoC::CustomizeAlarm>* out, int* badRow) const;

    int m_builtInCount = 0;
    LumoC::AlarmOption m_default;   // the built-in types
    AlarmModel* m_model = nullptr;  // child of the page
    AlarmNameDelegate* m_delegate = nullptr;
};
