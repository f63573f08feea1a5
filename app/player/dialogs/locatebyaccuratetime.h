// Asks for a date and time inside the span of the file playing in a view; the caller seeks there
// when the dialog ends with 1.
#pragma once

#include <QDateTime>

#include "player/dialogs/playerdialog.h"

namespace Ui {
class LocateByAccurateTime;
}

class LocateByAccurateTime : public PlayerDialog {
    Q_OBJECT
public:
    explicit LocateByAccurateTime(QWidget* parent = nullptr);
    ~LocateByAccurateTime() override;

    // The span of the file (both ends inclusive, to the second) and the time to propose.
    void SetRange(const QDateTime& current, const QDateTime& start, const QDateTime& end);
    void GetTime(QDateTime& time) const;

    // The times the editor can hold: what a packed record time can (years 2000 to 2063).
    static QDateTime EarliestTime();
    static QDateTime LatestTime();

    // Ok ends with 1 when the time lies in the span, else tells so and stays; Cancel ends with 0.
    void on_buttonBox_clicked(QAbstractButton* button);
    void on_btnClose_clicked();

protected:
    void Retranslate() override;

private:
    Ui::LocateByAccurateTime* ui;
    QDateTime m_start, m_end;  // the file's span
};
