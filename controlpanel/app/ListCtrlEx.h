#pragma once
// A report-view list: rows of texts under titled columns, a word of item data
// per row, optional check boxes in the first column. ItemChanged reports any
// change of a row's selection, focus or check mark, as the platform's list
// control does.
#include <QTableWidget>

class CListCtrlEx : public QTableWidget {
    Q_OBJECT
public:
    // Extended styles.
    enum Style { GridLines = 0x1, CheckBoxes = 0x4, HeaderDragDrop = 0x10, FullRowSelect = 0x20 };

    explicit CListCtrlEx(QWidget* parent = nullptr);

    void SetExtendedStyle(int styles);
    int InsertColumn(int column, const QString& heading, int width);
    // Inserts a row at `row` (clamped to the row count); returns its index.
    int InsertItem(int row, const QString& text);
    void SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    void SetItemData(int row, qint64 data);
    qint64 GetItemData(int row) const;
    bool DeleteItem(int row);
    void DeleteAllItems();
    int GetItemCount() const { return rowCount(); }
    void SetCheck(int row, bool checked);
    bool GetCheck(int row) const;
    // Selects and focuses the row (-1 clears the selection).
    void SelectItem(int row);
    // The first row in the selected state, or -1.
    int GetSelectedIndex() const;

signals:
    void ItemChanged(int row);
    void ItemDoubleClicked(int row);

private:
    QTableWidgetItem* Cell(int row, int column);
};
