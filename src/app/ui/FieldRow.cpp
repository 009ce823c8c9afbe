#include "app/ui/FieldRow.h"

#include "app/shell/Theme.h"
#include "app/ui/UIFonts.h"

#include <QHBoxLayout>
#include <QLabel>

namespace ostrel {

FieldRow::FieldRow(const QString& label, int labelWidth, QWidget* content, QWidget* parent)
    : QWidget(parent), label_(new QLabel(label, this)), content_(content) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    label_->setFont(UIFonts::text(11));
    label_->setWordWrap(false);
    label_->setFixedWidth(std::max(0, labelWidth));
    label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = label_->palette();
    palette.setColor(QPalette::WindowText, Theme::textDim());
    label_->setPalette(palette);
    row->addWidget(label_, 0, Qt::AlignVCenter);
    if (content_ != nullptr) {
        content_->setSizePolicy(QSizePolicy::Expanding, content_->sizePolicy().verticalPolicy());
        row->addWidget(content_, 1, Qt::AlignVCenter);
    } else {
        row->addStretch(1);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

}  // namespace ostrel
