-- parse_csv: a generated 10 MB CSV-like text split into a table of fields with gmatch

-- 1,000 lines of four fields, none of them empty, made one by one; the text is 350 copies of them.
local lines = {}
for i = 1, 1000 do
  lines[#lines + 1] = string.format("name%d,%d,some text %d,%d\n", i, i * 7, i, i % 10)
end
local text = string.rep(table.concat(lines), 350)

-- The fields: each run of characters other than the comma and the line end.
local fields = {}
for field in text:gmatch("[^,\n]+") do fields[#fields + 1] = field end
print(#text)
print(#fields)
print(fields[1])
print(fields[#fields])
