-- map: insert 1 million string keys, then look each one up, two rounds
local total = 0
local m
for _ = 1, 2 do
  m = {}
  for i = 1, 1000000 do m["key" .. (i - 1)] = i end
  -- `x & 255` as in the Xol program, which keeps its total inside 32-bit integers.
  for i = 1, 1000000 do total = total + (m["key" .. (i - 1)] & 255) end
end
local count = 0
for _ in pairs(m) do count = count + 1 end
print(count)
print(total)
print(m["key999999"])
