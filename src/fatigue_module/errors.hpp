#pragma once

namespace cyclewright::fatigue {

// Installs the translation of the core's failures into ValueError.
void register_errors();

}  // namespace cyclewright::fatigue
