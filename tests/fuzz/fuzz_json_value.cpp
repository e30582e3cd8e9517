// The JSON reader of `trackfolio settings set`: any text either fails cleanly or gives a
// settings value whose JSON form reads back as the same value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "model/json_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto value = tf::valueFromJsonText(text, error);
    if (!value) {
        tf::fuzz::check(!error.empty(), "refused without a reason", text);
        return 0;
    }
    const std::string dumped = tf::dumpJson(tf::toJson(*value));
    const auto back = tf::valueFromJsonText(dumped, error);
    tf::fuzz::check(back.has_value(), "printed value is refused", dumped + "\n" + error);
    tf::fuzz::check(*back == *value, "value changed through its JSON form",
                    dumped + "\n--- read back as ---\n" + tf::dumpJson(tf::toJson(*back)));
    return 0;
}
