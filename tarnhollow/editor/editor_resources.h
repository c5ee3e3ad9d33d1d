// The editor's compiled-in resources (icons, default logo).  The windows live in a static
// library, whose resource registration the linker may drop; this registers it once.
#pragma once

namespace tarnhollow::editor {

void EnsureEditorResources();

} // namespace tarnhollow::editor
