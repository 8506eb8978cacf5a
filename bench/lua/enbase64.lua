-- enbase64: encode a 10 MB binary to base 64, ten times
-- Lua has no base-64 codec: three bytes at a time through a table of the
-- 4096 two-character halves of a group, the pieces joined once.
local alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
local pairs12 = {}
for i = 0, 4095 do
  local high, low = i >> 6, i & 63
  pairs12[i] = alphabet:sub(high + 1, high + 1) .. alphabet:sub(low + 1, low + 1)
end

local function encode(data)
  local parts, n = {}, 0
  local byte = string.byte
  local length = #data
  local whole = length - length % 3
  for i = 1, whole, 3 do
    local a, b, c = byte(data, i, i + 2)
    local group = a << 16 | b << 8 | c
    n = n + 1
    parts[n] = pairs12[group >> 12] .. pairs12[group & 4095]
  end
  local left = length - whole
  if left > 0 then
    local a, b = byte(data, whole + 1, whole + 2)
    local group = a << 16 | (b or 0) << 8
    local text = pairs12[group >> 12] .. pairs12[group & 4095]
    n = n + 1
    parts[n] = left == 2 and text:sub(1, 3) .. "=" or text:sub(1, 2) .. "=="
  end
  return table.concat(parts)
end

-- The bytes 0 to 255 over and over, 10 MB in all.
local bytes = {}
for i = 0, 255 do bytes[i + 1] = string.char(i) end
local data = string.rep(table.concat(bytes), 40960)
local text
for _ = 1, 10 do text = encode(data) end
print(#text)
print(text:sub(1, 8))
print(text:sub(-4))
