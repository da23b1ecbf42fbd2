#pragma once
// A label that keeps its left and top and grows to fit its text, as the window's labels
// are laid out by their position, not by a layout. A word-wrapped label keeps its width
// and grows downwards.
#include <QLabel>

class AutoSizeLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    void setText(const QString& text) {
        QLabel::setText(text);
        Fit();
    }
    void clear() {
        QLabel::clear();
        Fit();
    }
    void Fit() {
        if (wordWrap()) {
            resize(width(), qMax(height(), heightForWidth(width())));
        } else {
            QSize hint = sizeHint();
            resize(hint.width(), qMax(height(), hint.height()));
        }
    }
};
