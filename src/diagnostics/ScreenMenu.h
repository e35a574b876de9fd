#pragma once

class QMenu;

namespace tellvane {

class BoardWindow;

// Fills the menu a right-click (or the menu key) opens on a board window's
// diagnostic screen: the plots and the recording, which live beside the
// board windows. Without one the screen has no menu, as it never had.
class ScreenMenu {
public:
    virtual ~ScreenMenu() = default;
    // cntrlIndex: the control of the screen under the pointer (-1 for none);
    // what it offers for which kind of control is the menu's own choice.
    virtual void fillScreenMenu(QMenu& menu, BoardWindow& window, int cntrlIndex) = 0;
};

}  // namespace tellvane
