#include "app/ClickableLabel.h"

void ClickableLabel::mousePressEvent(QMouseEvent*) { emit clicked(); }
