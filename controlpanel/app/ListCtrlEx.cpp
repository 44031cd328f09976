#include "controlpanel/app/ListCtrlEx.h"

#include <QHeaderView>
#include <QItemSelectionModel>

namespace {
constexpr int kDataRole = Qt::UserRole;
}

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTableWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the next control, as in a list view; the
    // arrows move between the rows.
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);

    connect(this, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int previous, int) {
                if (previous >= 0 && previous != row)
                    emit ItemChanged(previous);
                if (row >= 0 && row != previous)
                    emit ItemChanged(row);
            });
    // A selection changed without moving the focus (Ctrl+click on the selected
    // row clears it) is a row change too.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                QList<int> rows;
                for (const QItemSelection* range : {&deselected, &selected})
                    for (const QModelIndex& index : range->indexes())
                        if (!rows.contains(index.row()))
                            rows.append(index.row());
                for (const int row : rows)
                    emit ItemChanged(row);
            });
    connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == 0 && (item->flags() & Qt::ItemIsUserCheckable))
            emit ItemChanged(item->row());
    });
    connect(this, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { emit ItemDoubleClicked(row); });
}

void CListCtrlEx::SetExtendedStyle(int styles)
{
    setShowGrid(styles & GridLines);
    horizontalHeader()->setSectionsMovable(styles & HeaderDragDrop);
    setSelectionBehavior((styles & FullRowSelect) ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setProperty("checkBoxes", bool(styles & CheckBoxes));
}

int CListCtrlEx::InsertColumn(int column, const QString& heading, int width)
{
    column = qBound(0, column, columnCount());
    insertColumn(column);
    setHorizontalHeaderItem(column, new QTableWidgetItem(heading));
    setColumnWidth(column, width);
    return column;
}

QTableWidgetItem* CListCtrlEx::Cell(int row, int column)
{
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row, column, cell);
    }
    return cell;
}

int CListCtrlEx::InsertItem(int row, const QString& text)
{
    row = qBound(0, row, rowCount());
    const QSignalBlocker block(this);
    insertRow(row);
    for (int c = 0; c < columnCount(); ++c)
        Cell(row, c);
    QTableWidgetItem* first = Cell(row, 0);
    first->setText(text);
    if (property("checkBoxes").toBool())
        first->setCheckState(Qt::Unchecked);
    return row;
}

void CListCtrlEx::SetItemText(int row, int column, const QString& text)
{
    if (row >= 0 && row < rowCount() && column >= 0 && column < columnCount())
        Cell(row, column)->setText(text);
}

QString CListCtrlEx::GetItemText(int row, int column) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

void CListCtrlEx::SetItemData(int row, qint64 data)
{
    if (row >= 0 && row < rowCount() && columnCount() > 0) {
        const QSignalBlocker block(this);
        Cell(row, 0)->setData(kDataRole, data);
    }
}

qint64 CListCtrlEx::GetItemData(int row) const
{
    const QTableWidgetItem* cell = item(row, 0);
    return cell ? cell->data(kDataRole).toLongLong() : 0;
}

bool CListCtrlEx::DeleteItem(int row)
{
    if (row < 0 || row >= rowCount())
        return false;
    const bool wasSelected = GetSelectedIndex() == row;
    removeRow(row);
    // The view would select a neighbour; a list control leaves no selection.
    if (wasSelected)
        selectionModel()->clear();
    return true;
}

void CListCtrlEx::DeleteAllItems()
{
    const QSignalBlocker block(this);
    setRowCount(0);
}

void CListCtrlEx::SetCheck(int row, bool checked)
{
    if (row >= 0 && row < rowCount() && columnCount() > 0)
        Cell(row, 0)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

bool CListCtrlEx::GetCheck(int row) const
{
    const QTableWidgetItem* cell = item(row, 0);
    return cell && cell->checkState() == Qt::Checked;
}

void CListCtrlEx::SelectItem(int row)
{
    if (row < 0 || row >= rowCount()) {
        clearSelection();
        return;
    }
    setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int CListCtrlEx::GetSelectedIndex() const
{
    for (int row = 0; row < rowCount(); ++row)
        for (int c = 0; c < columnCount(); ++c)
            if (const QTableWidgetItem* cell = item(row, c); cell && cell->isSelected())
                return row;
    return -1;
}
