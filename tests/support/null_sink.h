#pragma once
// A row sink that drops every call: a batch without a window, for the benchmarks.

#include "core/row_sink.h"

namespace brindle::testing {

class NullSink final : public RowSink {
public:
    void deleteAllRows() override {}
    void insertRow(std::int32_t, const std::string&) override {}
    void setColumn1(std::int32_t, const std::string&) override {}
    void markFailed(std::int32_t) override {}
    void enableButton(FolderButton, bool) override {}
    void setStartCommandText(const char*) override {}
    void showCompletionMessage(const std::string&, const char*) override {}
};

}  // namespace brindle::testing
