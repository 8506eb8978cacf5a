-- debase64: decode the base-64 text of a 10 MB binary, ten times
-- Lua has no base-64 codec: four characters at a time through a table of
-- their values, three bytes made of each group, the pieces joined once.
local alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
local value = {}
for i = 1, 64 do value[alphabet:byte(i)] = i - 1 end

local function encode(data)
  local parts = {}
  for i = 1, #data, 3 do
    local a, b, c = data:byte(i, i + 2)
    local group = a << 16 | (b or 0) << 8 | (c or 0)
    local text = {}
    for k = 1, 4 do
      local digit = (group >> (24 - 6 * k)) & 63
      text[k] = alphabet:sub(digit + 1, digit + 1)
    end
    if not c then text[4] = "=" end
    if not b then text[3] = "=" end
    parts[#parts + 1] = table.concat(text)
  end
  return table.concat(parts)
end

local function decode(text)
  local parts, n = {}, 0
  local byte, char = string.byte, string.char
  for i = 1, #text, 4 do
    local a, b, c, d = byte(text, i, i + 3)
    local group = value[a] << 18 | value[b] << 12 | (value[c] or 0) << 6 | (value[d] or 0)
    n = n + 1
    if d == 61 then
      parts[n] = c == 61 and char(group >> 16) or char(group >> 16, group >> 8 & 255)
    else
      parts[n] = char(group >> 16, group >> 8 & 255, group & 255)
    end
  end
  return table.concat(parts)
end

-- The bytes 0 to 255 over and over, 10 MB in all, encoded once.
local bytes = {}
for i = 0, 255 do bytes[i + 1] = string.char(i) end
local text = encode(string.rep(table.concat(bytes), 40960))
local data
for _ = 1, 10 do data = decode(text) end
print(#data)
print(data:byte(1000))
print(data:byte(#data))
