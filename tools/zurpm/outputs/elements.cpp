// One element in each format.
#include "elements.h"

#include <iostream>

#include "json_lines.h"
#include "local_time.h"

namespace zurtool {

std::string addressOfElement(const DefinedGate& gate, int32_t numberBase, int32_t index) {
    if (!gate.item.isBlock()) return gate.item.address;
    std::string address = elementAddress(gate.item.address, numberBase, index);
    return address.empty() ? gate.item.address + "[" + std::to_string(index) + "]" : address;
}

void printElementHeader(OutputFormat format) {
    if (format == OutputFormat::csv) std::cout << "time,name,address,value,status\n";
}

void printElement(const ElementOut& e, OutputFormat format, bool write) {
    const bool done = e.transfer.done();
    const std::string value = e.value ? formatValue(*e.value) : std::string();
    switch (format) {
    case OutputFormat::jsonl:
        writeElement(std::cout, ElementRecord{isoLocalTimeNow(), e.gate.item.name, e.address, e.gate.item.kind, e.index,
                                              done ? e.value : std::nullopt, done, e.transfer.messages});
        break;
    case OutputFormat::csv:
        std::cout << isoLocalTimeNow() << "," << csvField(e.gate.item.name) << "," << csvField(e.address) << "," << value
                  << "," << csvField(done ? "ok" : "error: " + showMessages(e.transfer.messages)) << "\n";
        break;
    case OutputFormat::table:
    case OutputFormat::lines:
        if (!done)
            std::cout << e.address << "  " << (write ? "write" : "read") << " failed\n";
        else if (write)
            std::cout << e.address << "  " << value << "  written\n";
        else
            std::cout << e.address << "  " << value << "\n";
        break;
    }
}

}  // namespace zurtool
