// The card's own layout and the driver's copy of it must agree, field for field: a difference
// would let the emulator pass a driver that fails on the real card. The literals restate the
// card's documented offsets.
#include <gtest/gtest.h>

#include "hw/port_device.h"
#include "hw/window.h"
#include "pcimemu/card_map.h"

namespace cm = pcimemu::cardmap;
namespace dw = zurpm::window;

static_assert(cm::windowLength == dw::length && cm::windowLength == 0x4000);
static_assert(cm::ownDeviceNumber == dw::ownDeviceNumber && cm::ownDeviceNumber == 0x882);
static_assert(cm::cardVersion == dw::cardVersion && cm::cardVersion == 0x892);
static_assert(cm::heartbeat == dw::heartbeat && cm::heartbeat == 0x893);
static_assert(cm::commandStatus == dw::commandStatus && cm::commandStatus == 0x8C2);
static_assert(cm::commandCode == dw::commandCode && cm::commandCode == 0x8C3);
static_assert(cm::commandParams == dw::commandParams && cm::commandParams == 0x8C4);
static_assert(cm::replyLength == dw::replyLength && cm::replyLength == 0x8CA);
static_assert(cm::requestData == dw::requestData && cm::requestData == 0x8D2);
static_assert(cm::requestDataRoom == dw::requestDataRoom);
static_assert(cm::replyData == dw::replyData && cm::replyData == 0x9C2);
static_assert(cm::replyDataRoom == dw::replyDataRoom && cm::replyDataRoom == 134);
static_assert(cm::lockoutRequest == dw::lockoutRequest && cm::lockoutRequest == 0xA48);
static_assert(cm::lockoutGranted == dw::lockoutGranted && cm::lockoutGranted == 0xA49);
static_assert(cm::presenceByte(31) == dw::presenceOffset(31) && cm::presenceByte(31) == 0x1EFA);
static_assert(cm::ownOutputTable == dw::ownOutputTable && cm::ownOutputTable == 0x1F80);
static_assert(cm::inputTable(31) == dw::inputTableOffset(31) && cm::inputTable(31) == 0x2F80);
static_assert(cm::ioStatus == dw::ioStatus && cm::ioControl == dw::ioControl &&
              cm::ioRegister3 == dw::ioRegister3);
static_assert(cm::busyMask == dw::statusBusyMask && cm::completed == dw::statusCompleted &&
              cm::syntaxError == dw::statusSyntaxError && cm::processError == dw::statusProcessError);
static_assert(cm::codeConfigure == dw::commandConfigure && cm::codeSendDatagram == dw::commandSendDatagram &&
              cm::codeSendDatagramWithReply == dw::commandSendDatagramReply);
static_assert(cm::configurationAccepted == dw::configAccepted);
static_assert(cm::datagramFunction == dw::geniusDatagramFunction);
static_assert(cm::statusOkMissing == dw::statusOkMissing && cm::statusCommError == dw::statusCommError);
static_assert(cm::xportioMapMemory == zurpm::XPORTIO_MAP_MEMORY &&
              cm::xportioUnmapMemory == zurpm::XPORTIO_UNMAP_MEMORY &&
              cm::xportioReadPort == zurpm::XPORTIO_READ_PORT &&
              cm::xportioWritePort == zurpm::XPORTIO_WRITE_PORT);
static_assert(cm::mapRequestSize == zurpm::mapMemoryRequestSize && cm::mapRequestLength == zurpm::mapRequestLength &&
              cm::mapRequestPhysicalAddress == zurpm::mapRequestPhysicalAddress &&
              cm::portWriteRequestSize == zurpm::portWriteRequestSize);

