// VantelServerPages: base of the management console's page objects, which drive widgets of the
// main window's form (they are never shown themselves); PgLog, the hidden log page.
#pragma once

#include <QWidget>

class VantelServer;

class VantelServerPages : public QWidget {
    Q_OBJECT
public:
    VantelServerPages(int index, VantelServer* owner) : QWidget(nullptr), m_owner(owner), m_index(index) {}
    virtual void Init() {}
    virtual void Leave() {}
    virtual void Retranslate() {}
    int Index() const { return m_index; }

protected:
    // An export's target as the engine's local text: false, after a warning, when it is too long.
    bool ExportPath(const QString& path, QByteArray* local);
    // Tells the operator how an export to `path` ended (r: a LUMO_* code) and returns r: a
    // warning (naming a full disk) when it failed, the "export done" balloon when it did not.
    int ReportExport(int r, const QString& path);

    VantelServer* m_owner;
    int m_index;
};

class PgLog : public VantelServerPages {
    Q_OBJECT
public:
    PgLog(int index, VantelServer* owner);
    void Init() override;
};
