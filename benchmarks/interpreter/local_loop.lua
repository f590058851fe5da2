-- Local integer variables: sum += i for i below N.
local i, sum = 0, 0
while i < 30000000 do  -- N
  sum = sum + i
  i = i + 1
end
print(sum)
