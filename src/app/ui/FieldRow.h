// A labelled form row: the label (11 pt, dim, one line) in a leading column of a fixed width,
// 6 points of space, then the content, which may grow to any width. Rows stack as full-width lines.
#pragma once

#include <QWidget>

class QLabel;

namespace ostrel {

class FieldRow final : public QWidget {
    Q_OBJECT

public:
    /// `content` becomes a child of the row.
    FieldRow(const QString& label, int labelWidth, QWidget* content, QWidget* parent = nullptr);

    [[nodiscard]] QLabel* label() const noexcept { return label_; }
    [[nodiscard]] QWidget* content() const noexcept { return content_; }

private:
    QLabel* label_;
    QWidget* content_;
};

}  // namespace ostrel
