// The keyboard in the card tree: Enter does what a double-click does (a card opens, a class folds or
// unfolds and becomes current). Without it the key would reach the window and end the program.
#pragma once

#include <functional>

class QTreeWidget;

// `open` is what a double-click on the current row runs.
void OpenOnEnter(QTreeWidget* tree, std::function<void()> open);
