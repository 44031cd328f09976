#pragma once
// The page tree: root-level items with an image index into an image list and
// a word of item data. SelChanged reports a change of the caret item.
#include <QIcon>
#include <QList>
#include <QTreeWidget>

class CTreeCtrlEx : public QTreeWidget {
    Q_OBJECT
public:
    explicit CTreeCtrlEx(QWidget* parent = nullptr);

    void SetImageList(const QList<QIcon>& images) { m_images = images; }
    // Appends a root item; the same image is used selected and not.
    QTreeWidgetItem* InsertItem(const QString& label, int image, int selectedImage, quint32 data);
    quint32 GetItemData(const QTreeWidgetItem* item) const;
    int GetItemImage(const QTreeWidgetItem* item) const;
    // Makes the item the caret item (which reports SelChanged).
    void SelectItem(QTreeWidgetItem* item);
    QTreeWidgetItem* GetSelectedItem() const { return currentItem(); }

signals:
    void SelChanged();

private:
    QList<QIcon> m_images;
};
