-- block: append 3 million integers, sum them, reverse
local t = {}
for i = 1, 3000000 do table.insert(t, i) end

-- `x & 255` as in the Xol program, which keeps its total inside 32-bit integers.
local total = 0
for _, x in ipairs(t) do total = total + (x & 255) end

local front, back = 1, #t
while front < back do
  t[front], t[back] = t[back], t[front]
  front = front + 1
  back = back - 1
end

print(total)
print(#t)
print(t[1])
print(t[3000000])
