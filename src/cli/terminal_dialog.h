// The convert dialog in a terminal: the same lists, selection and OK rules as
// the window, with the command line's note in place of Label2, drawn as text
// and answered with the keyboard. Up and Down move
// within a list, Tab (or Left and Right) to the other list, F and T jump to
// a list, Enter is OK while OK is enabled, Esc or C cancels.
#pragma once

#include <cstdint>

#include "host/control_registry.h"
#include "host/user_interface.h"

namespace vireo {

class TerminalDialog final : public ConvertDialog {
 public:
  // Reads keys from `in_fd` (put in raw mode while the dialog is shown, when
  // it is a terminal) and draws on `out_fd`.
  TerminalDialog(const ControlRegistry& registry, int in_fd, int out_fd)
      : registry_(registry), in_fd_(in_fd), out_fd_(out_fd) {}

  // The source type to select first (the one the project references), when
  // the list offers it.
  void Preselect(int16_t from_type) { preselect_ = from_type; }

  // The end of the input counts as Cancel.
  void ShowModal(int16_t* from_type, int16_t* to_type) override;

 private:
  const ControlRegistry& registry_;
  int in_fd_;
  int out_fd_;
  int16_t preselect_ = 0;
};

}  // namespace vireo
