// ExcelExporter: writes a table model into a new .xlsx workbook (header row, then one row per
// model row) with libxlsxwriter.
#pragma once

#include <QString>

class QAbstractItemModel;
struct lxw_workbook;
struct lxw_worksheet;

class ExcelExporter {
public:
    static ExcelExporter* Instance();
    ExcelExporter() = default;
    ~ExcelExporter();
    ExcelExporter(const ExcelExporter&) = delete;
    ExcelExporter& operator=(const ExcelExporter&) = delete;

    // Writes the model to the file (an existing file is replaced whole). 0, or a negative code
    // with *error in English.
    int Export(const QString& path, const QAbstractItemModel* model, QString* error = nullptr);

    bool Open(const QString& path);
    void WriteModel(const QAbstractItemModel* model);
    // Rows and columns count from 1.
    void SetCell(int row, int column, const QString& text);
    void SetCell(int row, int column, int value);
    // Writes and closes the workbook: 0, or a negative code.
    int SaveAndQuit(QString* error);

private:
    lxw_workbook* m_workbook = nullptr;    // owned until SaveAndQuit or destruction
    lxw_worksheet* m_worksheet = nullptr;  // owned by the workbook
    bool m_cellFailed = false;
};
