// The section catalogue: one row per section the monitor configuration can
// name, and the one list that the dispatch, --check, --plugin, --report, the
// fuzz target and the fault sweep walk.
//
// A row (SectionRow, src/monitors/frame/SectionHandler.h) holds the
// upper-case name, the names in the run protocol and in the message rows,
// the error title, the type-1 and type-2 monitors or the section's own
// handler, the keys of the section (kMonitorSettingsKeys), the severity of
// its findings and whether its runs are measured. Adding a section is one
// row here and its monitor files.
#pragma once

#include <span>
#include <string_view>

#include "monitors/frame/SectionHandler.h"

namespace spekolar {

// All sections, in the order in which names are compared.
std::span<const SectionRow> SectionCatalogue();

// The row whose key equals `upperName` exactly; nullptr for any other name.
const SectionRow* FindSection(std::string_view upperName,
                               std::span<const SectionRow> catalogue = SectionCatalogue());

}  // namespace spekolar
