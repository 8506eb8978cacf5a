-- parse_block: a block of 3 million values, word integer string triples, matched by a grammar
-- The block holds words (one shared table), integers and strings; the grammar's checks are type tests in a
-- loop over the triples, as a Lua programmer writes them.

-- 1,000 triples made one by one, then the block of 1,000 copies of them: the time goes to the matching.
local word = { name = "w" }
local triples = {}
for i = 1, 1000 do
  triples[#triples + 1] = word
  triples[#triples + 1] = i
  triples[#triples + 1] = "s"
end
local block = {}
for _ = 1, 1000 do table.move(triples, 1, #triples, #block + 1, block) end

local function is_word(v) return type(v) == "table" and v.name ~= nil end

-- some [word! integer! string!]: at least one triple, and nothing else.
local function plain(b)
  local size = #b
  if size == 0 then return false end
  local i = 1
  while i <= size do
    if i + 2 > size then return false end
    if not (is_word(b[i]) and math.type(b[i + 1]) == "integer" and type(b[i + 2]) == "string") then
      return false
    end
    i = i + 3
  end
  return true
end

-- The same, the integer of each triple counted and added up (`x & 255`).
local function counting(b)
  local size = #b
  if size == 0 then return false, 0, 0 end
  local n, total = 0, 0
  local i = 1
  while i <= size do
    if i + 2 > size then return false, n, total end
    if not (is_word(b[i]) and math.type(b[i + 1]) == "integer") then return false, n, total end
    local x = b[i + 1]
    n = n + 1
    total = total + (x & 255)
    if type(b[i + 2]) ~= "string" then return false, n, total end
    i = i + 3
  end
  return true, n, total
end

print(plain(block) and "true" or "false")
local matched, n, total = counting(block)
print(matched and "true" or "false")
print(n)
print(total)
