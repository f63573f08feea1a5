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
    VantelServer* m_owner;
    int m_index;
};

class PgLog : public VantelServerPages {
    Q_OBJECT
public:
    PgLog(int index, VantelServer* owner);
    void Init() override;
};
