-- file_list: list a folder of 10,000 files, sorted, 50 times
-- The folder is made on the first run (f00000 to f09999, empty), in a folder of the benchmarks under /tmp.
-- Lua has no folder listing of its own: ls through a pipe, unsorted, then table.sort.
local listed = "/tmp/xol-bench-files/list/"
local probe = io.open(listed .. "f09999", "r")
if probe then
  probe:close()
else
  os.execute("mkdir -p " .. listed)
  for i = 0, 9999 do
    assert(io.open(string.format("%sf%05d", listed, i), "w")):close()
  end
end
local names
for _ = 1, 50 do
  names = {}
  local pipe = assert(io.popen("ls -1 -A -U " .. listed))
  for name in pipe:lines() do names[#names + 1] = name end
  pipe:close()
  table.sort(names)
end
print(#names)
print(names[1])
print(names[#names])
