#include "excelexporter.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QMutex>
#include <xlsxwriter.h>

#include "LumoBase/LumoResult.h"
#include "LumoBase/atomicfile.h"

ExcelExporter* ExcelExporter::Instance() {
    static QMutex mutex;
    static ExcelExporter* instance = nullptr;
    QMutexLocker lock(&mutex);
    if (!instance) instance = new ExcelExporter;
    return instance;
}

ExcelExporter::~ExcelExporter() {
    // A workbook never saved is still freed (closing it is the library's only way to free it);
    // its file is not wanted then.
    if (m_workbook) workbook_close(m_workbook);
}

int ExcelExporter::Export(const QString& path, const QAbstractItemModel* model, QString* error) {
    if (!model || path.isEmpty()) {
        if (error) *error = QStringLiteral("nothing to export");
        return LUMO_ERR_PARAM;
    }
    // The library writes a file of its own: it goes beside the target and replaces it only once
    // written whole, so a full disk never leaves an empty workbook in place of a good one.
    QString err;
    const LumoSaveResult r = LumoSaveFileAtomicVia(QFile::encodeName(path).toStdString(), [&](const std::string& temp) {
        ExcelExporter exporter;
        if (!exporter.Open(QFile::decodeName(QByteArray::fromStdString(temp)))) {
            err = QStringLiteral("cannot create the workbook");
            return false;
        }
        exporter.WriteModel(model);
        return exporter.SaveAndQuit(&err) == LUMO_OK;
    });
    if (!r.ok()) {
        // The disk's own words first: "the disk is full: <path>" is what the operator must see.
        if (error) *error = err.isEmpty() ? QString::fromStdString(r.message)
                                          : QString::fromStdString(r.message) + QStringLiteral(" (") + err + ')';
        return r.code;
    }
    return LUMO_OK;
}

bool ExcelExporter::Open(const QString& path) {
    if (m_workbook || path.isEmpty()) return false;
    m_workbook = workbook_new(QFile::encodeName(path).constData());
    if (!m_workbook) return false;
    m_worksheet = workbook_add_worksheet(m_workbook, nullptr);
    return m_worksheet != nullptr;
}

void ExcelExporter::WriteModel(const QAbstractItemModel* model) {
    const int columns = model->columnCount();
    const int rows = model->rowCount();
    for (int c = 0; c < columns; ++c) SetCell(1, c + 1, model->headerData(c, Qt::Horizontal).toString());
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) SetCell(r + 2, c + 1, model->index(r, c).data().toString());
}

void ExcelExporter::SetCell(int row, int column, const QString& text) {
    if (!m_worksheet || row < 1 || column < 1) return;
    if (worksheet_write_string(m_worksheet, static_cast<lxw_row_t>(row - 1),
                               static_cast<lxw_col_t>(column - 1), text.toUtf8().constData(),
                               nullptr) != LXW_NO_ERROR)
        m_cellFailed = true;
}

void ExcelExporter::SetCell(int row, int column, int value) {
    if (!m_worksheet || row < 1 || column < 1) return;
    if (worksheet_write_number(m_worksheet, static_cast<lxw_row_t>(row - 1),
                               static_cast<lxw_col_t>(column - 1), value, nullptr) != LXW_NO_ERROR)
        m_cellFailed = true;
}

int ExcelExporter::SaveAndQuit(QString* error) {
    if (!m_workbook) return LUMO_ERR_STATE;
    const lxw_error r = workbook_close(m_workbook);
    m_workbook = nullptr;
    m_worksheet = nullptr;
    if (r != LXW_NO_ERROR) {
        if (error) *error = QString::fromUtf8(lxw_strerror(r));
        return LUMO_ERR_WRITE;
    }
    if (m_cellFailed) {
        if (error) *error = QStringLiteral("some cells could not be written");
        return LUMO_ERR_WRITE;
    }
    return LUMO_OK;
}
