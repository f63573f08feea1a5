// SysConfig: the client settings dialog (seven option pages over the client configuration, a
// Default and a Save button), and PreviewPageConfigure, the same dialog for the playback page
// alone.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "LumoBase/LumoBase.h"

class SysConfigPage;
namespace Ui {
class SysConfig;
}

class SysConfig : public QWidget, public CLumoObject {
    Q_OBJECT
public:
    // The list rows of the pages.
    enum Row { RowCommon = 0, RowFile, RowPlayback, RowVideo, RowAlarm, RowToolbar, RowEmail, RowCount };

    explicit SysConfig(QWidget* parent);
    ~SysConfig() override;

    Ui::SysConfig* GetUi() const { return m_ui; }
    int GetCurrentRow() const { return m_currentRow; }
    // The page of a row; null for a row the dialog does not show.
    SysConfigPage* GetPage(int row) const;
    const std::map<int, SysConfigPage*>& GetPages() const { return m_pages; }

    void SelectPageByCode(int code);
    void SetPreviewMargins();
    void ShowPageList();
    void HidePageList();

    // The handler of the configuration's change notices (0x2 reload, 0x10000 | row select).
    static int OnConfigChanged(CLumoObject* owner, int code, void* sender, void* p1, void* p2);

signals:
    void sigSave();

public slots:
    virtual void OnSave();
    virtual void OnRestore();
    void OnSwitchPage(int row);

protected:
    // Builds the dialog with the pages of the given rows only.
    SysConfig(QWidget* parent, const std::vector<int>& rows);
    virtual void InitPages(const std::vector<int>& rows);
    virtual void LeaveCurrentPage();
    // A hide by the program or a close checks the unsaved edits; minimising keeps them.
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* PageWidget(int row) const;

    ILumoCallback* m_callback = nullptr;    // owned
    Ui::SysConfig* m_ui = nullptr;          // owned; its widgets belong to the dialog
    std::map<int, SysConfigPage*> m_pages;  // row -> page; owned (deleted with the dialog)
    int m_currentRow = 0;
};

class PreviewPageConfigure : public SysConfig {
    Q_OBJECT
public:
    explicit PreviewPageConfigure(QWidget* parent);
};
