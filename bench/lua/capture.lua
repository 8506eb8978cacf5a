-- capture: 50 MB of a child's output, as bytes and as text, three rounds
local bytes_command = "head -c 52428800 /dev/zero"
local text_command = "yes 0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOP | head -c 52428800"
local data, text
for _ = 1, 3 do
  local child = io.popen(bytes_command, "r")
  data = child:read("a")
  child:close()
  child = io.popen(text_command, "r")
  text = child:read("a")
  child:close()
end
print(#data)
print(#text)
print(text:sub(1, 10))
