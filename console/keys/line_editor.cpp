// One line editor for both consoles' line answers.
#include "console/keys/line_editor.h"

LineEditor::Step LineEditor::take(const Key& key, std::string& shown, std::size_t& erasedColumns) {
  shown.clear();
  erasedColumns = 0;
  if (skipNext_) {
    skipNext_ = false;
    return Step::kGoesOn;
  }
  const bool prefix =
      key.text.size() == 1 && (key.code == kExtendedPrefix || key.code == kFunctionPrefix);
  if (prefix) {
    skipNext_ = true;
    return Step::kGoesOn;
  }
  if (key.code == kEnterKey) {
    line_ += '\n';
    shown = "\n";
    return Step::kEnded;
  }
  if (key.code == keys_.endOfFileKey) {
    // As in a terminal's line mode: on an empty line the end of input, else the line as it is.
    return line_.empty() ? Step::kEndOfInput : Step::kEnded;
  }
  const bool erase = key.code == kBackspaceKey || key.code == keys_.eraseKey;
  if (erase || key.code == keys_.killKey) {
    while (!bytes_.empty()) {
      line_.erase(line_.size() - bytes_.back());
      erasedColumns += columns_.back();
      bytes_.pop_back();
      columns_.pop_back();
      if (erase) {
        break;
      }
    }
    return Step::kGoesOn;
  }
  // Stored as typed; a control key, ESC included, shown in caret form over two columns.
  const bool control = isControlCode(key.code);
  shown = control ? caretForm(key.code) : key.text;
  line_ += key.text;
  bytes_.push_back(key.text.size());
  columns_.push_back(control ? 2 : 1);
  return Step::kGoesOn;
}
