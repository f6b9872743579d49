#pragma once

#include "formats/front_end.h"

#include <optional>
#include <string>
#include <string_view>

namespace tdb::bench {

// The front end of a benchmarked run: the file is set, nothing is shown.
class FileFrontEnd : public FrontEnd {
public:
    explicit FileFrontEnd(std::string file) : file_(std::move(file)) {}
    std::optional<std::string> chooseFile() override { return file_; }
    void showMessage(std::string_view) override {}
    void setBusy(bool) override {}
    void disableActions() override {}
    void closeWindow() override {}

private:
    std::string file_;
};

} // namespace tdb::bench
