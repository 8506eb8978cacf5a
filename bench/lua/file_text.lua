-- file_text: write a 100 MB text to a file and read it back as text, three times
-- 1,000 numbered lines copied until the text holds about 100 MB, in a folder of the benchmarks under /tmp.
-- Lua's strings are bytes: the text is read back as it is, with no decoding.
local folder = "/tmp/xol-bench-files/"
os.execute("mkdir -p " .. folder)
local name = folder .. "lua.txt"
local lines = {}
for i = 1, 1000 do lines[#lines + 1] = "line " .. i .. " of some text to read back\n" end
local text = string.rep(table.concat(lines), 2800)
local back_again
for _ = 1, 3 do
  local file = assert(io.open(name, "w"))
  file:write(text)
  file:close()
  file = assert(io.open(name, "r"))
  back_again = file:read("a")
  file:close()
end
print(#back_again)
print(back_again:sub(1, 12))
print(back_again:sub(-12, -2))
local file = assert(io.open(name, "rb"))
print(file:seek("end"))
file:close()
os.remove(name)
