#include "model/History.h"

namespace panora {

void History::Record(const HistoryStep& step) {
  m_steps.erase(m_steps.begin() + static_cast<std::ptrdiff_t>(m_next), m_steps.end());
  m_steps.push_back(step);
  if (m_steps.size() > m_depth) m_steps.pop_front();
  m_next = m_steps.size();
}

void History::Clear() {
  m_steps.clear();
  m_next = 0;
}

}  // namespace panora
