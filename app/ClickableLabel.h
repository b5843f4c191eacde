#pragma once

#include <QLabel>

// A label that reports every mouse press, of any button, as clicked().
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
