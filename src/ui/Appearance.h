// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <initializer_list>

class QPushButton;
class QWidget;

// Program-wide look: the Tahoma font the fixed layouts were drawn for, and the program icon.
// Call once after the QApplication exists, before the first window.
void ApplyAppearance();

// The dialogs' white buttons, drawn by the platform style in white rather than its grey.
void MakeWhite(std::initializer_list<QPushButton *> buttons);

// Gives each box with a label as its buddy the label's text as its accessible name, read as it is
// shown ("&&" is one ampersand, a lone "&" marks the access key) and without the closing colon.
void NameBoxesByTheirLabels(const QWidget *window);
