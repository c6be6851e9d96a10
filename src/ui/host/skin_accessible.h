// What screen readers see of a skin window: its native child widgets as Qt describes them, and
// after them every element of its tree that has an accessible name, with its role, state,
// place, the press of a button and the value of a progress ring.
#pragma once

#include <memory>

namespace ui {

class LayoutElement;
class SkinWindow;

// Makes Qt describe every SkinWindow this way. GUI thread; repeated calls do nothing.
void InstallSkinAccessibility();

// Tells screen readers that the keyboard is now on e, an element of window's tree. GUI thread,
// without the tree lock.
void NotifyElementFocus(SkinWindow* window, const std::shared_ptr<LayoutElement>& e);
// Tells screen readers that what they read of e changed: a checkbox's state, a ring's value.
// GUI thread, without the tree lock.
void NotifyElementChanged(SkinWindow* window, const std::shared_ptr<LayoutElement>& e);

} // namespace ui
