#include "app/ui/SectionHeader.h"

#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"

#include <QHBoxLayout>
#include <QLabel>

namespace ostrel {

SectionHeader::SectionHeader(const QString& title, QWidget* trailing, QWidget* parent)
    : QWidget(parent), label_(new QLabel(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 2);
    QFont font = UIFonts::text(10, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
    label_->setFont(font);
    QPalette palette = label_->palette();
    palette.setColor(QPalette::WindowText, Theme::textFaint());
    label_->setPalette(palette);
    row->addWidget(label_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    if (trailing != nullptr) row->addWidget(trailing, 0, Qt::AlignVCenter);
    setTitle(title);
}

void SectionHeader::setTitle(const QString& title) {
    title_ = title;
    label_->setText(title.toUpper());
}

}  // namespace ostrel
