// INFRA::ServerExiting: the small frame a server console shows while its engine stops.
#pragma once

#include <QWidget>

namespace INFRA {

class ServerExiting : public QWidget {
    Q_OBJECT
public:
    ServerExiting(const QString& title, const QString& text, QWidget* parent = nullptr);
    QString Title() const { return m_title; }
    QString Text() const { return m_text; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    QString m_title, m_text;
    bool m_recorded = false;
};

}  // namespace INFRA
