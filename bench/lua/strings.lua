-- strings: append 2 million pieces to a string, find a marker 1,000 times; 3 rounds
-- Lua strings are immutable, so the pieces go into a table joined once, as a
-- Lua programmer builds a long string; the search is plain (no patterns).
local pieces = {"alpha ", "beta ", "gamma ", "delta ", "eps ", "zeta ", "eta "}
local s, found, total
for _ = 1, 3 do
  local parts = {}
  for i = 1, 2000000 do
    if i == 100000 then
      parts[i] = "NEEDLE "
    else
      parts[i] = pieces[(i - 1) % 7 + 1]
    end
  end
  s = table.concat(parts)
  found, total = 0, 0
  for offset = 1, 1000 do
    local place = string.find(s, "NEEDLE", offset, true)
    if place then
      found = found + 1
      total = total + place
    end
  end
end
print(#s)
print(found)
print(total)
