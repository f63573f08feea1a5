// Small form widgets of the suite, usable from designer forms (header "VantelInfraAPI/formwidgets.h").
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// A push button that keeps its width fitted to its text (so translated texts are never cut).
class AutoPushButton : public QPushButton {
    Q_OBJECT
public:
    explicit AutoPushButton(QWidget* parent = nullptr);
    explicit AutoPushButton(const QString& text, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void changeEvent(QEvent* e) override;
};

// A combo box whose pop-up is a plain list view, so that the style sheet reaches its items.
class ComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit ComboBox(QWidget* parent = nullptr);
};

// A line edit that reports clicks.
class ClickLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit ClickLineEdit(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
};

// A label that shows as much of its text as fits, eliding the rest (the whole text in its tool tip).
class autoFitLabel : public QLabel {
    Q_OBJECT
public:
    explicit autoFitLabel(QWidget* parent = nullptr);
    // Qt::TextElideMode: 0 left, 1 right, 2 middle, 3 none.
    void SetElidedMode(int mode);
    int GetElidedMode() const { return m_mode; }
    void SetFullText(const QString& text);
    QString FullText() const { return m_full; }
    // Hides QLabel's own: the label keeps the whole text and shows what fits.
    void setText(const QString& text) { SetFullText(text); }
    QString text() const { return m_full; }
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void refit();
    QString m_full;
    int m_mode = Qt::ElideRight;
};
