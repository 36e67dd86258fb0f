// A list view with the classic four styles (large icons, small icons, list,
// details) over one set of items: each item has a caption, an icon and
// sub-items shown as further columns in the details style.
#pragma once

#include <QIcon>
#include <QStringList>
#include <QWidget>
#include <functional>

class QAbstractItemView;
class QListView;
class QMimeData;
class QStackedLayout;
class QStandardItemModel;
class QTreeView;

namespace kordel {

class TListView : public QWidget {
    Q_OBJECT
public:
    enum Style { vsIcon = 0, vsSmallIcon = 1, vsList = 2, vsReport = 3 };

    explicit TListView(QWidget* parent = nullptr);

    void setColumns(const QStringList& titles);
    void setColumnAlignment(int column, Qt::Alignment alignment);
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);

    Style viewStyle() const { return style_; }
    void setViewStyle(Style style);

    int count() const;
    void clear();
    void addItem(const QString& caption, const QIcon& icon, const QStringList& subItems);
    void removeItem(int row);
    QString caption(int row) const;
    QString subItem(int row, int index) const;  // index 0 is the second column
    int findCaption(const QString& caption) const;

    int selectedRow() const;  // -1 when nothing is selected
    void selectRow(int row, bool focus);
    void clearSelection();

    // Reorders the items: `goesAfter(a, b)` tells whether row a goes after row b;
    // items that are equal keep their order.
    void sortItems(const std::function<bool(int, int)>& goesAfter);

    // Whether items can be dragged by the mouse.
    void setAutomaticDrag(bool on);
    bool automaticDrag() const { return automaticDrag_; }
    // What a drag of a row carries; the drag offers copying only, so the
    // list never removes a row because of where it was dropped.
    std::function<QMimeData*(int row)> dragData;

    // The view showing the items in the current style.
    QAbstractItemView* view() const;
    QTreeView* reportView() const { return report_; }
    QListView* iconView() const { return icons_; }

signals:
    void itemClicked();
    void itemDoubleClicked();

private:
    QStandardItemModel* model_;
    QTreeView* report_;
    QListView* icons_;
    QStackedLayout* stack_;
    Style style_ = vsReport;
    bool automaticDrag_ = true;
};

}  // namespace kordel
