// Popup menus on Qt: a fresh QMenu from the items each time, so it always shows their state.
#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <map>

#include "platform/menus.h"

namespace {
void Fill(QMenu& menu, TMenuItem* parent, std::map<QAction*, TMenuItem*>& actions) {
    std::map<int, QActionGroup*> groups;
    for (int i = 0; i < parent->Count(); ++i) {
        TMenuItem* item = parent->Items(i);
        if (!item->Visible) continue;
        if (item->IsLine()) {
            menu.addSeparator();
            continue;
        }
        QString caption = QString::fromStdString(item->Caption);
        if (item->Count() > 0) {
            QMenu* sub = menu.addMenu(caption);
            sub->setEnabled(item->Enabled);
            Fill(*sub, item, actions);
            continue;
        }
        QAction* a = menu.addAction(caption);
        a->setEnabled(item->Enabled);
        if (item->RadioItem) {
            // Radio items of one group show as such; the group is for the look only.
            QActionGroup*& g = groups[item->GroupIndex];
            if (!g) {
                g = new QActionGroup(&menu);
                g->setExclusive(true);
            }
            a->setActionGroup(g);
        }
        a->setCheckable(item->RadioItem || item->Checked());
        a->setChecked(item->Checked());
        actions[a] = item;
    }
}
}  // namespace

TMenuItem* backend::PopupMenu(TMenuItem* root, int x, int y) {
    QMenu menu;
    std::map<QAction*, TMenuItem*> actions;
    Fill(menu, root, actions);
    QAction* chosen = menu.exec(QPoint(x, y));
    auto it = actions.find(chosen);
    return it == actions.end() ? nullptr : it->second;
}
