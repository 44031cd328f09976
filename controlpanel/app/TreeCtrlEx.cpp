#include "controlpanel/app/TreeCtrlEx.h"

#include <QHeaderView>

namespace {
constexpr int kDataRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
} // namespace

CTreeCtrlEx::CTreeCtrlEx(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setColumnCount(1);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::Box);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { emit SelChanged(); });
}

QTreeWidgetItem* CTreeCtrlEx::InsertItem(const QString& label, int image, int /*selectedImage*/, quint32 data)
{
    auto* item = new QTreeWidgetItem(this, QStringList(label));
    item->setData(0, kDataRole, data);
    item->setData(0, kImageRole, image);
    if (image >= 0 && image < m_images.size())
        item->setIcon(0, m_images.at(image));
    return item;
}

quint32 CTreeCtrlEx::GetItemData(const QTreeWidgetItem* item) const
{
    return item ? item->data(0, kDataRole).toUInt() : 0;
}

int CTreeCtrlEx::GetItemImage(const QTreeWidgetItem* item) const
{
    return item ? item->data(0, kImageRole).toInt() : -1;
}

void CTreeCtrlEx::SelectItem(QTreeWidgetItem* item)
{
    setCurrentItem(item);
}
