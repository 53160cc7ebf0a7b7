// The operator's undo and redo history: a bounded list of steps, each a
// change from one value to another (a channel window's rectangle, the
// controls one panel "Set" sends, the window the position dialog left on
// the processor) or one relative press (the full-mode page's move and zoom
// buttons, taken back by the opposite press). Values only: the history never acts;
// its owner puts a step's value back on screen and sends it, and moves the
// history only once that went out.
#pragma once

#include <array>
#include <cstddef>
#include <deque>

namespace panora {

// A channel window as the operator left it: its place as exact fractions of
// the layout area (never measured pixels), so that it is put back to the
// pixel on the output after the area changed size; its maximise flag; and
// where a double-click restores it to, kept both as the view's restore
// rectangle (layout pixels, left, top, right, bottom) and as exact fractions.
struct WindowValue {
  std::array<double, 4> place{};  // x, y, w, h as fractions of the layout area
  int maximized = 0;              // the view's maximise flag after the change
  std::array<int, 4> restore{};   // the view's restore rectangle in layout pixels
  std::array<double, 4> restorePlace{};  // that place as exact fractions
  bool operator==(const WindowValue&) const = default;
};

// The controls one "Set" sends, as plain numbers in the panel's own order.
struct PanelValue {
  static constexpr int kMax = 24;
  std::array<int, kMax> v{};
  int count = 0;
  bool operator==(const PanelValue&) const = default;
};

struct HistoryStep {
  // kReset: a factory reset; its set-ups before and after are the owner's.
  enum Kind { kWindow, kPanel, kPress, kPosition, kReset };
  Kind kind = kWindow;
  // kWindow: the channel 0..3. kPanel: the Set's id and its target (the
  // picture channel for contrast and brightness, else 0). kPress: the
  // button's index 0..7 and the channel, `step` its step count. kPosition:
  // the channel; the panel values hold X, Y, W, H in output pixels.
  int what = 0;
  int target = 0;
  int step = 0;
  WindowValue windowBefore, windowAfter;
  PanelValue panelBefore, panelAfter;
};

class History {
 public:
  static constexpr std::size_t kDefaultDepth = 200;
  explicit History(std::size_t depth = kDefaultDepth) : m_depth(depth == 0 ? 1 : depth) {}

  // A new step drops everything that could be redone; beyond the depth the
  // oldest step goes.
  void Record(const HistoryStep& step);
  void Clear();

  bool CanUndo() const { return m_next > 0; }
  bool CanRedo() const { return m_next < m_steps.size(); }
  // The step an undo would take back / a redo would do again, or nullptr.
  const HistoryStep* NextUndo() const { return CanUndo() ? &m_steps[m_next - 1] : nullptr; }
  const HistoryStep* NextRedo() const { return CanRedo() ? &m_steps[m_next] : nullptr; }
  // Called once the step was carried out; nothing when there is none.
  void CommitUndo() {
    if (CanUndo()) --m_next;
  }
  void CommitRedo() {
    if (CanRedo()) ++m_next;
  }

  std::size_t UndoCount() const { return m_next; }
  std::size_t RedoCount() const { return m_steps.size() - m_next; }
  std::size_t Depth() const { return m_depth; }

 private:
  std::deque<HistoryStep> m_steps;
  std::size_t m_next = 0;  // steps before this index can be undone
  std::size_t m_depth;
};

}  // namespace panora
