-- Wireshark dissector for PraveltTest's node protocol: UDP port 3333.
--
-- Installed where Wireshark loads global Lua plugins; from a source tree, load it with
--   tshark -X lua_script:res/wireshark/praveltest.lua -r capture.pcapng -V
--
-- Every read of the packet is checked against the captured length first, so that no datagram,
-- however short or strange, can raise a Lua error: what does not fit is flagged, not thrown.

local PORT = 3333
-- The program reads into a 600-byte buffer and drops anything longer unread.
local MAX_DATAGRAM = 600
local POLL_LENGTH = 5
local REPLY_LENGTH = 33
local NAME_LENGTH = 10
local DMX_HEADER_LENGTH = 9
local MAX_CHANNELS = 512

-- A copy installed with the package and one loaded with -X lua_script would register the
-- protocol twice, which Wireshark refuses with an error; the copy loaded first stays.
local registered, proto = pcall(Proto, "praveltest", "PraveltTest Node Protocol")
if not registered then return end

local MESSAGES = {
    VXPP = "Poll",
    VXPR = "Poll reply",
    VXDD = "DMX data",
    VXAP = "Unexpected message",
    VXZZ = "Message never to be seen",
    XVCN = "Message never to be seen (legacy code)",
}

local DATA_TYPES = {
    [0] = "Zero (invalid)",
    [1] = "Raw",
    [2] = "Channel/value pairs",
    [4] = "Run-length encoded",
}

local f = {
    code = ProtoField.string("praveltest.code", "Message Code"),
    message = ProtoField.string("praveltest.message", "Message"),
    length = ProtoField.uint32("praveltest.length", "Datagram Length"),
    poll_byte = ProtoField.uint8("praveltest.poll.byte", "Poll Byte", base.HEX),
    sender = ProtoField.string("praveltest.reply.sender", "IP Address"),
    mac = ProtoField.ether("praveltest.reply.mac", "MAC Address"),
    node_type = ProtoField.uint16("praveltest.reply.node_type", "Node Type", base.HEX),
    version = ProtoField.uint8("praveltest.reply.version", "Version", base.HEX),
    switches = ProtoField.uint8("praveltest.reply.switches", "Switch Settings", base.HEX),
    name = ProtoField.string("praveltest.reply.name", "Node Name"),
    options = ProtoField.uint8("praveltest.reply.options", "Options", base.HEX),
    configured = ProtoField.bool("praveltest.reply.options.configured", "Node is configured", 8,
                                 nil, 0x01),
    dhcp = ProtoField.bool("praveltest.reply.options.dhcp", "Enable DHCP", 8, nil, 0x02),
    error_correction = ProtoField.bool("praveltest.reply.options.error_correction",
                                       "Enable Error Correction", 8, nil, 0x04),
    tos = ProtoField.uint8("praveltest.reply.tos", "Type of Service", base.HEX),
    ttl = ProtoField.uint8("praveltest.reply.ttl", "Packet TTL", base.HEX),
    listen_to = ProtoField.uint8("praveltest.reply.listen_to", "Listen to"),
    listen_ip = ProtoField.ipv4("praveltest.reply.listen_ip", "Listen IP Address"),
    reply_universe = ProtoField.uint8("praveltest.reply.universe", "DMX Universe"),
    ignored = ProtoField.bytes("praveltest.ignored", "Ignored Bytes"),
    universe = ProtoField.uint8("praveltest.dmx.universe", "Universe"),
    start_code = ProtoField.uint8("praveltest.dmx.start_code", "Start Code"),
    data_type = ProtoField.uint8("praveltest.dmx.data_type", "Data Type", base.DEC, DATA_TYPES),
    channels = ProtoField.uint16("praveltest.dmx.channels", "Channel Count"),
    levels = ProtoField.bytes("praveltest.dmx.levels", "Levels"),
    level = ProtoField.uint8("praveltest.dmx.level", "Level"),
    trailer = ProtoField.uint8("praveltest.dmx.trailer", "Trailer"),
}
proto.fields = {
    f.code, f.message, f.length, f.poll_byte, f.sender, f.mac, f.node_type, f.version,
    f.switches, f.name, f.options, f.configured, f.dhcp, f.error_correction, f.tos, f.ttl,
    f.listen_to, f.listen_ip, f.reply_universe, f.ignored, f.universe, f.start_code,
    f.data_type, f.channels, f.levels, f.level, f.trailer,
}

local e = {
    short = ProtoExpert.new("praveltest.short", "Datagram shorter than its message",
                            expert.group.MALFORMED, expert.severity.ERROR),
    count = ProtoExpert.new("praveltest.channel_count",
                            "Channel count disagrees with the datagram length",
                            expert.group.MALFORMED, expert.severity.ERROR),
    oversized = ProtoExpert.new("praveltest.oversized",
                                "Datagram over 600 bytes: the program drops it unread",
                                expert.group.PROTOCOL, expert.severity.WARN),
    unknown = ProtoExpert.new("praveltest.unknown_code", "Unknown message code",
                              expert.group.PROTOCOL, expert.severity.WARN),
    unwanted = ProtoExpert.new("praveltest.unwanted",
                               "A message the program does not expect to receive",
                               expert.group.SEQUENCE, expert.severity.NOTE),
    odd = ProtoExpert.new("praveltest.unusual_value", "Value outside the usual range",
                          expert.group.PROTOCOL, expert.severity.WARN),
}
proto.experts = { e.short, e.count, e.oversized, e.unknown, e.unwanted, e.odd }

-- Bytes from the capture as numbers; nil past the captured end.
local function byte_at(tvb, offset)
    if offset + 1 > tvb:len() then return nil end
    return tvb(offset, 1):uint()
end

-- Names are single-byte text; bytes above 127 are shown as Latin-1, control bytes escaped.
local function latin1_text(tvb, offset, length)
    local out = {}
    for i = offset, offset + length - 1 do
        local b = tvb(i, 1):uint()
        if b < 0x20 or b == 0x7F then
            out[#out + 1] = string.format("\\x%02X", b)
        elseif b < 0x80 then
            out[#out + 1] = string.char(b)
        else
            out[#out + 1] = string.char(0xC0 + math.floor(b / 64), 0x80 + b % 64)
        end
    end
    return table.concat(out)
end

local function has_bit(value, mask)
    return math.floor(value / mask) % 2 == 1
end

-- The row texts of the program's device tree.
local function options_text(value)
    local text = "Options: "
    if has_bit(value, 0x01) then text = text .. "Node is configured, " end
    if has_bit(value, 0x02) then text = text .. "Enable DHCP, " end
    if has_bit(value, 0x04) then text = text .. "Enable Error Correction" end
    return text
end

local function listen_to_text(value)
    if value == 0 then return "Broadcast" end
    return "Class C Broadcast"
end

local function universe_text(u)
    return string.format("DMX Universe: %d (%d-%d)", u + 1, u * 512 + 1, (u + 1) * 512)
end

local function flag_short(item, length, needed, what)
    item:add_proto_expert_info(e.short, string.format(
        "Datagram shorter than its message: %d bytes, a %s needs %d", length, what, needed))
end

local function flag_ignored(tree, tvb, from)
    if tvb:len() > from then
        tree:add(f.ignored, tvb(from)):append_text(" (beyond the message)")
    end
end

local function dissect_poll(tvb, tree, length)
    if length < POLL_LENGTH then
        flag_short(tree, length, POLL_LENGTH, "poll")
        return
    end
    if tvb:len() < POLL_LENGTH then return end
    local item = tree:add(f.poll_byte, tvb(4, 1))
    if tvb(4, 1):uint() ~= 0x01 then
        item:add_proto_expert_info(e.odd, "A poll carries 0x01 here")
    end
    flag_ignored(tree, tvb, POLL_LENGTH)
end

-- A row of the device tree: the field's item, its text replaced by the row's exact words.
local function row(tree, field, range, text)
    return tree:add(field, range):set_text(text)
end

local function dissect_reply(tvb, pinfo, tree, length)
    if length < REPLY_LENGTH then
        flag_short(tree, length, REPLY_LENGTH, "poll reply")
        return
    end
    if tvb:len() < REPLY_LENGTH then return end
    local name_length = 0
    while name_length < NAME_LENGTH and tvb(14 + name_length, 1):uint() ~= 0 do
        name_length = name_length + 1
    end
    local name = latin1_text(tvb, 14, name_length)
    pinfo.cols.info:append(string.format(" from '%s'", name))
    tree:append_text(string.format(", Node Name: %s", name))
    local b = function(offset) return tvb(offset, 1):uint() end

    tree:add(f.sender, tostring(pinfo.src)):set_text("IP Address: " .. tostring(pinfo.src))
        :set_generated()
    row(tree, f.mac, tvb(4, 6), string.format("MAC Address: %02X %02X %02X %02X %02X %02X",
        b(4), b(5), b(6), b(7), b(8), b(9)))
    row(tree, f.node_type, tvb(10, 2), string.format("Node Type: %02X%02X", b(10), b(11)))
    row(tree, f.version, tvb(12, 1), string.format("Version: %02X", b(12)))
    row(tree, f.switches, tvb(13, 1), string.format("Switch Settings: %02X", b(13)))
    tree:add(f.name, tvb(14, NAME_LENGTH), name):set_text("Node Name: " .. name)
    local options = row(tree, f.options, tvb(24, 1), options_text(b(24)))
    options:add(f.configured, tvb(24, 1))
    options:add(f.dhcp, tvb(24, 1))
    options:add(f.error_correction, tvb(24, 1))
    row(tree, f.tos, tvb(25, 1), string.format("Type of Service: %02X", b(25)))
    row(tree, f.ttl, tvb(26, 1), string.format("Packet TTL: %02X", b(26)))
    row(tree, f.listen_to, tvb(27, 1), "Listen to: " .. listen_to_text(b(27)))
    row(tree, f.listen_ip, tvb(28, 4), string.format("Listen IP Address: %d.%d.%d.%d",
        b(28), b(29), b(30), b(31)))
    row(tree, f.reply_universe, tvb(32, 1), universe_text(b(32)))
    flag_ignored(tree, tvb, REPLY_LENGTH)
end

local function levels_summary(tvb, offset, count)
    local low, high = 255, 0
    for i = offset, offset + count - 1 do
        local v = tvb(i, 1):uint()
        if v < low then low = v end
        if v > high then high = v end
    end
    if count == 0 then return "none" end
    if low == high then return string.format("all %d", low) end
    return string.format("%d to %d", low, high)
end

local function dissect_levels(tvb, tree, count)
    local present = math.min(count, tvb:len() - DMX_HEADER_LENGTH)
    if present <= 0 then return end
    local levels = tree:add(f.levels, tvb(DMX_HEADER_LENGTH, present))
    levels:set_text(string.format("Levels: %d channels, %s", present,
        levels_summary(tvb, DMX_HEADER_LENGTH, present)))
    for channel = 1, present do
        local range = tvb(DMX_HEADER_LENGTH + channel - 1, 1)
        levels:add(f.level, range):set_text(string.format("Channel %d: %d", channel,
            range:uint()))
    end
end

local function dissect_dmx(tvb, pinfo, tree, length)
    if length < DMX_HEADER_LENGTH then
        flag_short(tree, length, DMX_HEADER_LENGTH + 2, "DMX data message")
        return
    end
    if tvb:len() < DMX_HEADER_LENGTH then return end
    local u = tvb(4, 1):uint()
    local data_type = tvb(6, 1):uint()
    local count = tvb(7, 2):uint()
    pinfo.cols.info:append(string.format(", universe %d, %d channels", u + 1, count))

    tree:add(f.universe, tvb(4, 1)):set_text(string.format("Universe: %d (byte %d)", u + 1, u))
    tree:add(f.start_code, tvb(5, 1))
    local type_item = tree:add(f.data_type, tvb(6, 1))
    if DATA_TYPES[data_type] == nil then
        type_item:add_proto_expert_info(e.odd, "Unknown data type")
    end
    local count_item = tree:add(f.channels, tvb(7, 2))
    if count < 1 or count > MAX_CHANNELS then
        count_item:add_proto_expert_info(e.odd, "A channel count is 1 to 512")
    end
    local expected = count + DMX_HEADER_LENGTH + 1
    if length ~= expected then
        count_item:add_proto_expert_info(e.count, string.format(
            "Channel count %d needs a datagram of %d bytes; this one has %d", count, expected,
            length))
    end
    dissect_levels(tvb, tree, count)
    local trailer_offset = DMX_HEADER_LENGTH + count
    local trailer = byte_at(tvb, trailer_offset)
    if trailer ~= nil then
        local item = tree:add(f.trailer, tvb(trailer_offset, 1))
        if trailer ~= 0 then
            item:add_proto_expert_info(e.odd, "The trailer is always 0")
        end
        flag_ignored(tree, tvb, trailer_offset + 1)
    end
end

-- Printable letters as they are, anything else as \xNN.
local function code_text(tvb)
    local out = {}
    for i = 0, math.min(tvb:len(), 4) - 1 do
        local b = tvb(i, 1):uint()
        if b >= 0x20 and b < 0x7F then
            out[#out + 1] = string.char(b)
        else
            out[#out + 1] = string.format("\\x%02X", b)
        end
    end
    return table.concat(out)
end

function proto.dissector(tvb, pinfo, tree)
    local length = tvb:reported_length_remaining()
    pinfo.cols.protocol = "PraveltTest"
    local root = tree:add(proto, tvb())
    root:add(f.length, length):set_generated()
    if length > MAX_DATAGRAM then
        root:add_proto_expert_info(e.oversized, string.format(
            "Datagram of %d bytes, over 600: the program drops it unread", length))
    end
    if tvb:len() < length then
        root:append_text(" [capture cut short]")
    end
    if tvb:len() < 4 then
        pinfo.cols.info = "Short datagram"
        if length < 4 then flag_short(root, length, 4, "message code") end
        return tvb:len()
    end

    local code = code_text(tvb)
    local message = MESSAGES[code]
    pinfo.cols.info = message or "Unknown message code"
    local code_item = root:add(f.code, tvb(0, 4), code)
    root:append_text(string.format(", %s (%s)", message or "Unknown", code))
    if message == nil then
        pinfo.cols.info:append(string.format(" '%s'", code))
        code_item:add_proto_expert_info(e.unknown, string.format("Unknown message code '%s'",
            code))
    elseif code == "VXPP" then
        dissect_poll(tvb, root, length)
    elseif code == "VXPR" then
        dissect_reply(tvb, pinfo, root, length)
    elseif code == "VXDD" then
        dissect_dmx(tvb, pinfo, root, length)
    else
        code_item:add_proto_expert_info(e.unwanted, string.format(
            "'%s': a message the program does not expect to receive", code))
    end
    return tvb:len()
end

DissectorTable.get("udp.port"):add(PORT, proto)
