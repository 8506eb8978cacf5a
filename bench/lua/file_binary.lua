-- file_binary: write a 100 MB binary to a file and read it back, three times
-- The bytes 0 to 255 over and over, 100 MiB in all, in a folder of the benchmarks under /tmp.
local folder = "/tmp/xol-bench-files/"
os.execute("mkdir -p " .. folder)
local name = folder .. "lua.bin"
local bytes = {}
for i = 0, 255 do bytes[#bytes + 1] = string.char(i) end
local data = string.rep(table.concat(bytes), 409600)
local back_again
for _ = 1, 3 do
  local file = assert(io.open(name, "wb"))
  file:write(data)
  file:close()
  file = assert(io.open(name, "rb"))
  back_again = file:read("a")
  file:close()
end
print(#back_again)
print(back_again:byte(1001))
print(back_again:byte(#back_again))
local file = assert(io.open(name, "rb"))
print(file:seek("end"))
file:close()
os.remove(name)
