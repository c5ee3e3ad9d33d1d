// Registering the editor's resources once.
#include "tarnhollow/editor/editor_resources.h"

#include <QtGlobal>

static void RegisterEditorResources() {
    Q_INIT_RESOURCE(tarnhollow);
}

namespace tarnhollow::editor {

void EnsureEditorResources() {
    static const bool registered = (RegisterEditorResources(), true);
    (void)registered;
}

} // namespace tarnhollow::editor
