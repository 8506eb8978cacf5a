-- draws: 10 million draws of math.random(1000), counting any outside 1 to 1000
local outside = 0
for _ = 1, 10000000 do
  local r = math.random(1000)
  if r > 1000 then outside = outside + 1 end
end
print(outside)
