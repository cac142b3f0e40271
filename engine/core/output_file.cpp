#include "engine/core/output_file.h"

#include "common/files.h"

namespace brindle::engine {

Outcome writeSource(const std::string& folder, const std::string& simpleName,
                    std::string_view source) {
    std::string error;
    if (!common::makeFolders(folder, common::NewFolders::Shared, &error) ||
        !common::replaceFile(common::joinPath(folder, simpleName + ".java"), source,
                             common::ReplaceOptions{}, &error))
        return Outcome::failure(OutcomeKind::CannotWriteOutput, error);
    return Outcome::withSource({});
}

}  // namespace brindle::engine
