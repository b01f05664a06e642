// SPDX-License-Identifier: MIT
#pragma once

#include <QPixmap>

// The decorative picture: a small projector throwing its beam onto a screen.
QPixmap makeProjectorPicture(QSize size);
