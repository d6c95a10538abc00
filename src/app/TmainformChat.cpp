// The online list beside the main window's content.
#include "app/Tmainform.h"

#include "ui/Artwork.h"
#include "ui/Controls.h"
#include "ui/TextBridge.h"

#include <QListWidget>

void TMainForm::FillOnlineList(const std::vector<std::string>& names)
{
    // With no names the count keeps its previous text.
    m_ui.lb->clear();
    InitArtwork();
    const QIcon person(QPixmap(artwork::Person));
    for (const auto& name : names) {
        auto* item = new QListWidgetItem(person, GbkToQ(name), m_ui.lb);
        item->setSizeHint(QSize(m_ui.lb->viewport()->width(), 25));
        m_ui.sb->SetPanelText(2, QString::number(m_ui.lb->count()) + "人在线");
    }
}
