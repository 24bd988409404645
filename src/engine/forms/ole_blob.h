// A grid's record in a form's binary property file, in one of two layouts:
// VB4's (a 16-bit header length H and a 32-bit payload length N at the
// record's offset, the payload at offset + H) or the one VB5 and VB6 save an
// ActiveX control in ("LB", a 16-bit kind, N, four 32-bit extents, the
// payload at offset + 24). Converting it replaces, inside the payload only,
// every GUID of the source grid version by the GUID of the same role in the
// target version.
#pragma once

#include <cstdint>
#include <string>

#include "engine/project/file_work.h"

namespace vireo {

// Rewrites the record at `offset` of `file` in place; where the run keeps no
// copies or sets its records aside, `file` is only read and what would be
// written goes to `run.set_aside_writes`. -1 (file untouched) when the record
// is malformed or a GUID has no counterpart in the target version.
int16_t ConvertOleObjectBlob(FileWork& run, const std::string& file, int32_t offset,
                             int16_t from_type, int16_t to_type);

}  // namespace vireo
