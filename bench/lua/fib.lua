-- fib: naive recursive fib 30, ten times
local function fib(n)
  if n < 2 then return n end
  return fib(n - 1) + fib(n - 2)
end

local result = 0
for _ = 1, 10 do result = fib(30) end
print(result)
