// PgMaintain: the maintenance page: the clients logged in to the engine, refreshed on every
// clients-changed event, and their export to a spreadsheet file.
#pragma once

#include <QList>
#include <list>
#include <string>

#include "LumoSServer/LumoSServer.h"
#include "pages.h"

class QStandardItem;
class QStandardItemModel;

class PgMaintain : public VantelServerPages {
    Q_OBJECT
public:
    struct Resource {
        std::string name;
        int used = 0;
        int total = 0;
    };

    PgMaintain(int index, VantelServer* owner);
    void Init() override;

    QStandardItemModel* ClientModel() const { return m_clientModel; }
    QStandardItemModel* ResourceModel() const { return m_resourceModel; }
    // Writes a table to the path; 0, or the failure (told to the operator).
    int ExportTo(const QString& path, QStandardItemModel* model);

public slots:
    void OnBtnExportClientClicked();
    void OnBtnExportResourceClicked();
    void OnUserChanged();
    void OnShowOnlineClients();
    void OnClientChanged(bool loggedIn, quint64 id, const QString& ip, const QString& account,
                         const QString& loginTime);

protected:
    void changeEvent(QEvent* e) override;

private:
    void BuildClientTable();
    void BuildResourceTable();
    void SetClientHeaders();
    void SetResourceHeaders();
    QList<QStandardItem*> MakeClientRow(quint64 id, const QString& ip, const QString& account,
                                        const QString& loginTime);
    // The first row whose id is not below id (rows are in login order, ids grow with it).
    int LowerRow(quint64 id) const;

    std::list<LumoSDTOClient> m_clients;  // GUI thread
    std::list<Resource> m_resources;
    QStandardItemModel* m_clientModel = nullptr;
    QStandardItemModel* m_resourceModel = nullptr;
};
