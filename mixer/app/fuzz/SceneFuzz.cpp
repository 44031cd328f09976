// Arbitrary bytes as a scene file: a read either fails with a line inside the
// text or gives a scene whose written text reads back to the same scene.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "mixer/app/SceneFile.h"

using namespace qel::mixer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Scene scene;
    SceneError error;
    if (!ParseScene(text, scene, error)) {
        if (error.line < 0 || static_cast<std::size_t>(error.line) > size + 1) std::abort();
        return 0;
    }
    const std::string written = WriteScene(scene);
    Scene again;
    if (!ParseScene(written, again, error) || WriteScene(again) != written) std::abort();
    return 0;
}
