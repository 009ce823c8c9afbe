// A section title: the name in upper case (10 pt semibold, faint, letter spacing 0.8), a flexible
// space, then an optional trailing widget; 2 points of space below.
#pragma once

#include <QWidget>

class QLabel;

namespace ostrel {

class SectionHeader final : public QWidget {
    Q_OBJECT

public:
    /// `trailing` (may be null) becomes a child of the header.
    explicit SectionHeader(const QString& title, QWidget* trailing = nullptr, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    /// The caller's title, unchanged (it is shown in upper case).
    [[nodiscard]] const QString& title() const noexcept { return title_; }
    [[nodiscard]] QLabel* titleLabel() const noexcept { return label_; }

private:
    QString title_;
    QLabel* label_;
};

}  // namespace ostrel
